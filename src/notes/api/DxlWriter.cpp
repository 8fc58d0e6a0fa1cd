#include "notes/api/DxlWriter.h"

#include <cstdio>
#include <fstream>

namespace qb::notes {
namespace {

const char* ClassName(LNNOTECLASS noteClass) {
    switch (noteClass) {
    case NOTE_CLASS_INFO: return "info";
    case NOTE_CLASS_FORM: return "form";
    case NOTE_CLASS_VIEW: return "view";
    case NOTE_CLASS_ICON: return "icon";
    case NOTE_CLASS_DESIGN: return "design";
    case NOTE_CLASS_ACL: return "acl";
    case NOTE_CLASS_HELP: return "help";
    case NOTE_CLASS_FILTER: return "filter";
    case NOTE_CLASS_FIELD: return "field";
    case NOTE_CLASS_REPLFORMULA: return "replformula";
    default: return "document";
    }
}

const char* LevelName(int level) {
    static const char* kLevels[] = {"noaccess", "depositor", "reader", "author", "editor", "designer", "manager"};
    return level >= 0 && level <= 6 ? kLevels[level] : "noaccess";
}

bool ReadContent(const FileContent& content, Bytes* bytes, std::string* detail) {
    if (content.inMemory) {
        *bytes = content.bytes;
        return true;
    }
    std::ifstream in(content.dxlPath, std::ios::binary);
    std::string base64(content.length, '\0');
    in.seekg(static_cast<std::streamoff>(content.offset));
    in.read(base64.data(), static_cast<std::streamsize>(base64.size()));
    if (!in || !DecodeBase64(base64, bytes)) {
        *detail = "attachment data in " + content.dxlPath;
        return false;
    }
    return true;
}

}  // namespace

void WriteDatabaseStart(std::ostream& out, const DxlDatabaseInfo& info) {
    out << "<?xml version='1.0' encoding='utf-8'?>\n"
        << "<database xmlns='http://www.lotus.com/dxl' version='9.0' title='" << XmlEscape(info.title)
        << "' replicaid='" << XmlEscape(info.replicaId) << "'>\n<acl>";
    bool defaultWritten = false;
    for (const AclEntryData& entry : info.acl) {
        bool isDefault = entry.name == "-Default-";
        defaultWritten |= isDefault;
        out << "<aclentry name='" << XmlEscape(entry.name) << "'"
            << (isDefault ? " default='true'" : "") << " level='"
            << LevelName(isDefault ? info.defaultAccess : entry.level) << "'/>";
    }
    if (!defaultWritten)
        out << "<aclentry name='-Default-' default='true' level='" << LevelName(info.defaultAccess) << "'/>";
    out << "</acl>\n";
}

void WriteDatabaseEnd(std::ostream& out) { out << "</database>\n"; }

bool WriteNote(std::ostream& out, const NoteData& note, std::string* detail) {
    char id[16];
    std::snprintf(id, sizeof id, "%x", note.noteId);
    out << "<note class='" << ClassName(note.noteClass) << "'>\n<noteinfo noteid='" << id << "' unid='" << note.unid
        << "'>";
    if (!note.created.IsNull()) out << "<created><datetime>" << note.created.GetDxlText() << "</datetime></created>";
    if (!note.modified.IsNull())
        out << "<modified><datetime>" << note.modified.GetDxlText() << "</datetime></modified>";
    out << "</noteinfo>\n";
    for (const ItemData& item : note.items) {
        out << "<item name='" << XmlEscape(item.name) << "'";
        if (!(item.flags & LNITEMFLAGS_SUMMARY)) out << " summary='false'";
        if (item.flags & LNITEMFLAGS_SIGN) out << " sign='true'";
        if (item.flags & LNITEMFLAGS_SEAL) out << " seal='true'";
        if (item.flags & LNITEMFLAGS_NAMES) out << " names='true'";
        if (item.flags & LNITEMFLAGS_READERS) out << " readers='true'";
        if (item.flags & LNITEMFLAGS_READWRITERS) out << " authors='true'";
        if (item.flags & LNITEMFLAGS_PROTECTED) out << " protected='true'";
        out << ">";
        if (item.type == TYPE_OBJECT && item.file) {
            Bytes content;
            if (item.file->content && !ReadContent(*item.file->content, &content, detail)) return false;
            out << "<object><file hosttype='bytearraypage' compression='none' name='" << XmlEscape(item.file->name)
                << "' size='" << content.size() << "'>";
            if (!item.file->created.IsNull())
                out << "<created><datetime>" << item.file->created.GetDxlText() << "</datetime></created>";
            if (!item.file->modified.IsNull())
                out << "<modified><datetime>" << item.file->modified.GetDxlText() << "</datetime></modified>";
            out << "<filedata>\n" << EncodeBase64(content) << "\n</filedata></file></object>";
        } else if (item.type == TYPE_FORMULA && (item.value.empty() || item.value[0] != '\x01')) {
            out << "<formula>" << XmlEscape(item.value) << "</formula>";
        } else {
            char type[8];
            std::snprintf(type, sizeof type, "%x", item.type);
            out << "<rawitemdata type='" << type << "'>\n" << EncodeBase64(item.value) << "\n</rawitemdata>";
        }
        out << "</item>\n";
    }
    out << "</note>\n";
    return true;
}

}  // namespace qb::notes
