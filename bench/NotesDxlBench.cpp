// Measures the DXL reader on a generated mailbox: the indexing pass alone,
// in one part and in two; the time to open it (the indexing pass), the time
// to walk every document of the ($All) view (open, read every item and the
// body text, close), the DXL throughput of both together and the peak memory
// of the process.
//
//   bench_notes_dxl [--documents N] [--file PATH] [--keep]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "notes/api/DxlReader.h"
#include "notes/api/LNNotes.h"
#include "notes/api/NoteIndex.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

// User and system CPU seconds of the process: on a shared machine the wall
// clock also counts the time other programs had the processor.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A mailbox of memos in formatted DXL: folders, summary items, a rich text
// body of a few paragraphs, and an attachment on every tenth memo.
void WriteMailbox(const std::string& path, int documents) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version='1.0' encoding='utf-8'?>\n<database xmlns='http://www.lotus.com/dxl' version='9.0' "
           "title='Bench mailbox' replicaid='85257A1B0046C1A2'>\n"
           "<view name='($All)'><noteinfo noteid='4' unid='0F0F0F0F0F0F0F0F852500000000A004'/>"
           "<code event='selection'><formula>SELECT @All</formula></code>"
           "<column sort='descending' itemname='PostedDate'/></view>\n"
           "<folder name='($Inbox)'><noteinfo noteid='8' unid='0F0F0F0F0F0F0F0F852500000000A008'/></folder>\n";
    std::string attachment;
    for (int i = 0; i < 20000 / 76; ++i)
        attachment += "QmVuY2ggYXR0YWNobWVudCBkYXRhIGZvciB0aGUgTm90ZXMgRFhMIHJlYWRlciBiZW5jaG1hcmsu\n";
    char unid[40];
    for (int i = 0; i < documents; ++i) {
        std::snprintf(unid, sizeof unid, "AAAAAAAA%08X85250000%08X", i, i);
        int day = 1 + i % 28, month = 1 + i / 28 % 12, hour = i % 24;
        char date[40];
        std::snprintf(date, sizeof date, "2009%02d%02dT%02d1530,00+01", month, day, hour);
        out << "<document form='Memo'><noteinfo noteid='" << std::hex << (0x100 + 4 * i) << std::dec << "' unid='"
            << unid << "'><created><datetime>" << date << "</datetime></created></noteinfo>\n"
            << "<item name='Subject'><text>Quarterly report number " << i << "</text></item>"
            << "<item name='From' names='true'><text>CN=Sender " << i % 50 << "/OU=Sales/O=Org</text></item>"
            << "<item name='SendTo' names='true'><textlist><text>CN=User One/O=Org</text>"
            << "<text>someone" << i % 7 << "@example.com</text></textlist></item>"
            << "<item name='PostedDate'><datetime>" << date << "</datetime></item>"
            << "<item name='$FolderRefs'><textlist><text>0F0F0F0F0F0F0F0F852500000000A008</text></textlist></item>\n"
            << "<item name='Body'><richtext><pardef id='1'/>";
        for (int p = 0; p < 6; ++p)
            out << "<par def='1'><run><font style='bold'/>Paragraph " << p << ".</run> The figures for the "
                << "quarter are attached; please review them before the meeting on Thursday and send your "
                << "comments to the team. Regards, Sender " << i % 50 << "</par>";
        out << "</richtext></item>\n";
        if (i % 10 == 0)
            out << "<item name='$FILE' summary='true'><object><file name='report" << i
                << ".bin'><filedata>\n" << attachment << "</filedata></file></object></item>\n";
        out << "</document>\n";
    }
    out << "</database>\n";
}

int Fail(const char* what, LNSTATUS status) {
    std::fprintf(stderr, "%s: %s\n", what, LNGetErrorMessageText(status).c_str());
    return 1;
}

// The indexing pass alone, in one part and in two (on the second CPU; wall
// time shows the gain only when that CPU is free).
int IndexBothWays(const std::string& path) {
    for (bool twoParts : {false, true}) {
        qb::notes::SetDxlIndexSplitEnabled(twoParts);
        qb::notes::DxlDatabaseInfo info;
        qb::notes::NoteIndex index;
        std::string detail;
        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        if (LNSTATUS status = qb::notes::IndexDxlFile(path, &info, &index, &detail)) {
            std::fprintf(stderr, "index: %s\n", detail.c_str());
            return Fail("index", status);
        }
        const bool split = qb::notes::LastDxlIndexSplit() == qb::notes::DxlIndexSplit::Used;
        std::printf("index pass in %s: %.2f s, %.2f s of CPU, %zu notes\n",
                    twoParts ? (split ? "two parts" : "one part (no split used)") : "one part", Seconds(start),
                    CpuSeconds() - cpuStart, index.Size());
    }
    qb::notes::SetDxlIndexSplitEnabled(std::nullopt);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int documents = 100000;
    std::string path;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--documents" && i + 1 < argc) documents = std::atoi(argv[++i]);
        else if (arg == "--file" && i + 1 < argc) path = argv[++i];
        else if (arg == "--keep") keep = true;
    }
    bool generated = false;
    if (path.empty() || !std::filesystem::exists(path)) {
        if (path.empty()) path = (std::filesystem::temp_directory_path() / "quillbox-bench-mailbox.dxl").string();
        auto start = Clock::now();
        WriteMailbox(path, documents);
        generated = true;
        std::printf("generated %d documents in %.2f s\n", documents, Seconds(start));
    }
    double megabytes = static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
    if (int failed = IndexBothWays(path)) return failed;
    long peakBefore = PeakKilobytes();

    LNNotesSession session;
    if (LNSTATUS status = session.InitializeWithDataDirectory(".")) return Fail("session", status);
    LNDatabase database;
    double cpuStart = CpuSeconds();
    auto openStart = Clock::now();
    if (LNSTATUS status = session.GetDatabase(path, &database)) return Fail("database", status);
    if (LNSTATUS status = database.Open()) return Fail("open", status);
    double openSeconds = Seconds(openStart);

    auto walkStart = Clock::now();
    LNViewFolder all;
    if (LNSTATUS status = database.GetViewFolder("($All)", &all)) return Fail("view", status);
    if (LNSTATUS status = all.Open()) return Fail("view open", status);
    double viewSeconds = Seconds(walkStart);
    std::size_t textBytes = 0;
    LNINT attachments = 0;
    double openDocumentSeconds = 0;
    for (LNINT i = 0; i < all.GetEntryCount(); ++i) {
        LNDocument document;
        all[i].GetDocument(&document);
        auto openDocument = Clock::now();
        if (LNSTATUS status = document.Open()) return Fail("document", status);
        openDocumentSeconds += Seconds(openDocument);
        std::vector<LNItem> items;
        document.GetItems(&items);
        for (const LNItem& item : items) textBytes += item.GetValueText().size();
        LNAttachmentArray files;
        document.GetAttachments(&files);
        attachments += files.GetCount();
        document.Close();
    }
    double walkSeconds = Seconds(walkStart);
    double cpuSeconds = CpuSeconds() - cpuStart;
    long peak = PeakKilobytes();

    std::printf("file: %.1f MB, %d entries in ($All), %d attachments, %zu bytes of item text\n", megabytes,
                all.GetEntryCount(), attachments, textBytes);
    std::printf("open (index pass): %.2f s, %.1f MB/s\n", openSeconds, megabytes / openSeconds);
    std::printf("walk ($All), every document opened: %.2f s, %.0f documents/s\n", walkSeconds,
                all.GetEntryCount() / walkSeconds);
    std::printf("  of which: view open %.2f s, document open %.2f s, reading items %.2f s\n", viewSeconds,
                openDocumentSeconds, walkSeconds - viewSeconds - openDocumentSeconds);
    std::printf("open + walk: %.1f MB/s of DXL (wall clock), %.1f MB per CPU second (%.2f s of CPU)\n",
                megabytes / (openSeconds + walkSeconds), megabytes / cpuSeconds, cpuSeconds);
    std::printf("peak memory: %.1f MB (%.1f MB before opening)\n", peak / 1024.0, peakBefore / 1024.0);
    if (generated && !keep) std::filesystem::remove(path);
    return 0;
}
