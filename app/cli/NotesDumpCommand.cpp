// quillbox-cli notes-dump: the title, views and folders of a Notes database
// and, on request, every document with its items.

#include <cstdio>
#include <ostream>
#include <vector>

#include "CliCommands.h"
#include "NotesOpen.h"

namespace qb::cli {
namespace {

struct ViewLine {
    std::string title;
    std::string flags;
    bool folder = false;
    LNINT entries = -1;
    std::string error;
};

std::vector<ViewLine> ReadViews(const LNDatabase& database) {
    std::vector<ViewLine> lines;
    std::vector<LNViewFolder> views;
    database.GetViewFolders(&views);
    for (LNViewFolder& view : views) {
        ViewLine line;
        line.title = view.GetTitle();
        line.flags = view.GetFlags();
        line.folder = view.IsFolder();
        LNSTATUS status = view.Open();
        if (status == LNNOERROR) line.entries = view.GetEntryCount();
        else line.error = NotesStatusText(status);
        view.Close();
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string NoteIdText(NOTEID id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", id);
    return text;
}


std::string ItemValueText(const LNItem& item) {
    if (item.GetType() == TYPE_MIME_PART || item.GetType() == TYPE_SIGNATURE || item.GetType() == TYPE_VIEW_FORMAT ||
        item.GetType() == TYPE_COLLATION || item.GetType() == TYPE_INVALID_OR_UNKNOWN ||
        ItemTypeName(item.GetType()) == "other")
        return "(" + std::to_string(item.GetValueSize()) + " bytes)";
    return item.GetValueText(';');
}

// Documents in note order; a document that cannot be read is reported and skipped.
int DumpDocuments(const LNDatabase& database, bool json, CliContext& context) {
    LNNoteArray notes;
    LNSearchOptions options;
    options.SetNoteType(NOTE_CLASS_DOCUMENT);
    LNSTATUS status = database.Search("@All", &notes, &options);
    if (status != LNNOERROR && status != LNWARN_NOT_FOUND) {
        context.err << "search failed: " << NotesStatusText(status) << "\n";
        return kExitFailure;
    }
    int result = kExitOk;
    if (json) context.out << ",\n\"documents\": [";
    else context.out << "Documents: " << notes.GetCount() << "\n";
    for (LNINT i = 0; i < notes.GetCount(); ++i) {
        LNDocument document = notes[i];
        status = document.Open();
        std::vector<LNItem> items;
        if (status == LNNOERROR) status = document.GetItems(&items);
        if (status != LNNOERROR) {
            context.err << "document " << NoteIdText(notes.GetNoteID(i)) << ": " << NotesStatusText(status) << "\n";
            result = kExitFailure;
            continue;
        }
        if (json) {
            context.out << (i ? ",\n" : "\n") << "{\"noteid\": " << JsonString(NoteIdText(document.GetNoteID()))
                        << ", \"unid\": " << JsonString(document.GetUniversalID())
                        << ", \"created\": " << JsonString(document.GetCreated().GetText()) << ", \"items\": [";
            for (std::size_t k = 0; k < items.size(); ++k)
                context.out << (k ? ", " : "") << "{\"name\": " << JsonString(items[k].GetName())
                            << ", \"type\": " << items[k].GetType() << ", \"value\": "
                            << JsonString(ItemValueText(items[k])) << "}";
            context.out << "]}";
        } else {
            context.out << "Document " << NoteIdText(document.GetNoteID()) << " " << document.GetUniversalID()
                        << " created " << document.GetCreated().GetText() << "\n";
            for (const LNItem& item : items) {
                char type[16];
                std::snprintf(type, sizeof type, "0x%04X", item.GetType());
                context.out << "  " << item.GetName() << " [" << type << " " << ItemTypeName(item.GetType())
                            << "] = " << ItemValueText(item) << "\n";
            }
            LNAttachmentArray attachments;
            document.GetAttachments(&attachments);
            for (LNINT a = 0; a < attachments.GetCount(); ++a)
                context.out << "  attachment: " << attachments[a].GetAttachmentName() << " ("
                            << attachments[a].GetSize() << " bytes)\n";
        }
        document.Close();
    }
    if (json) context.out << "\n]";
    return result;
}

}  // namespace

int RunNotesDump(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("notes-dump");
    std::string path, notesIni, problem;
    bool json = false, documents = false;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--notes-ini") {
            if (!reader.Value(notesIni)) return UsageError(context, self, "--notes-ini needs a file name");
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--documents") {
            documents = true;
        } else if (!TakePositional(arg, path, problem)) {
            return UsageError(context, self, problem);
        }
    }
    if (path.empty()) return UsageError(context, self, "a database is required");
    LNNotesSession session;
    LNDatabase database;
    if (!OpenNotesDatabase(session, notesIni, path, &database, context.err)) return kExitFailure;
    std::vector<ViewLine> views = ReadViews(database);
    if (json) {
        context.out << "{\"title\": " << JsonString(database.GetTitle()) << ", \"path\": " << JsonString(path)
                    << ", \"replicaid\": " << JsonString(database.GetReplicaID())
                    << ", \"notes\": " << database.GetNoteCount() << ",\n\"views\": [";
        for (std::size_t i = 0; i < views.size(); ++i) {
            const ViewLine& view = views[i];
            context.out << (i ? ",\n" : "\n") << "{\"title\": " << JsonString(view.title)
                        << ", \"flags\": " << JsonString(view.flags) << ", \"folder\": "
                        << (view.folder ? "true" : "false") << ", \"entries\": ";
            if (view.entries >= 0) context.out << view.entries << "}";
            else context.out << "null, \"error\": " << JsonString(view.error) << "}";
        }
        context.out << "\n]";
    } else {
        context.out << "Title: " << database.GetTitle() << "\n"
                    << "Replica ID: " << database.GetReplicaID() << "\n"
                    << "Notes: " << database.GetNoteCount() << "\n"
                    << "Views and folders: " << views.size() << "\n";
        for (const ViewLine& view : views) {
            context.out << "  " << (view.folder ? "Folder" : "View") << " \"" << view.title << "\" flags=\""
                        << view.flags << "\" entries=";
            if (view.entries >= 0) context.out << view.entries << "\n";
            else context.out << "error: " << view.error << "\n";
        }
    }
    int result = documents ? DumpDocuments(database, json, context) : kExitOk;
    if (json) context.out << "}\n";
    return result;
}

}  // namespace qb::cli
