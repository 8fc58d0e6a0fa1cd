// Failures injected all through a real export: the personal folders file's
// writes and syncs and the temporary folder's creates and writes fail, one
// point at a time, as a full or broken disk would. Each time the export
// must stop with exit 1 and name the error, the file must stay at its last
// commit (our checker and pffexport agree on it), and every document the
// program counts as exported must be in the file, also when the store
// commits in batches. Two exports into one
// store at once: one is refused, the file stays whole.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ExportCliSupport.h"
#include "support/OutsideTools.h"

namespace qb::test {
namespace {

const char* const kPstName = "/Quillbox Sample.pst";

// What pffexport finds in a file: its items, and the documents they came
// from (one per folder and universal id: the items of a repeating entry or
// of the days of an event carry it with "#n" after it).
struct PffCounts {
    int items = -1;
    int documents = -1;
};

// The universal id in an item's ItemValues.txt (pffexport -d), or empty.
std::string UniversalIdOf(const std::filesystem::path& itemValues) {
    std::ifstream in(itemValues);
    std::string line, id;
    bool named = false, value = false;
    while (std::getline(in, line)) {
        if (line.rfind("Maps to entry:", 0) == 0) named = line.find("NotesUniversalID") != std::string::npos;
        else if (named && line.rfind("Value:", 0) == 0) value = true;
        else if (value && line.rfind("0x", 0) == 0 && line.size() > 12) {
            std::istringstream bytes(line.substr(12, 49));
            for (std::string hex; bytes >> hex;)
                if (const int c = std::stoi(hex, nullptr, 16); c != 0) id += static_cast<char>(c);
        } else if (value) {
            return id;
        }
    }
    return id;
}

PffCounts CountByPffexport(const std::string& pst, const std::string& workDir) {
    std::filesystem::remove_all(workDir);
    std::filesystem::create_directories(workDir);
    const auto run = RunCommand("cd " + ShellQuote(workDir) + " && pffexport -q -m items -d -t out " + ShellQuote(pst));
    if (run.status != 0) return {};
    PffCounts counts{0, 0};
    std::set<std::string> documents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(workDir + "/out.export")) {
        const std::string name = entry.path().filename().string();
        static const std::regex kItem("(Message|Appointment|Task|Contact|DistributionList)[0-9]+");
        if (!entry.is_directory() || !std::regex_match(name, kItem)) continue;
        ++counts.items;
        // Further instances carry "id#n": the document is the id before it.
        std::string id = UniversalIdOf(entry.path() / "ItemValues.txt");
        id = id.substr(0, id.find('#'));
        documents.insert(entry.path().parent_path().string() + "|" + (id.empty() ? name : id));
    }
    counts.documents = static_cast<int>(documents.size());
    return counts;
}

// "Export stopped (N exported from M before the failure)." gives N.
int ExportedBeforeTheFailure(const std::string& output) {
    const std::string mark = "Export stopped (";
    const auto at = output.find(mark);
    return at == std::string::npos ? -1 : std::stoi(output.substr(at + mark.size()));
}

// 1, 2, ... 8, then growing by half each time: dense where a run starts,
// spread over the rest.
std::vector<int> FaultPoints(int count) {
    std::vector<int> points;
    for (int k = 1; static_cast<int>(points.size()) < count; k = k < 8 ? k + 1 : k + k / 2) points.push_back(k);
    return points;
}

class ExportFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        QB_REQUIRE_TOOL("pffexport");
        MakeSample(dir, 12, 7);
        // The sample comes with its empty store; each run starts from a copy.
        std::filesystem::copy_file(dir.File("sample") + kPstName, dir.File("empty.pst"));
    }

    // One export with the fault; false once the fault point lies beyond the
    // run (the export then finishes as it does without a fault).
    bool ExportWithFault(const std::string& fault) {
        const std::string pst = dir.File("sample") + kPstName;
        std::filesystem::copy_file(dir.File("empty.pst"), pst, std::filesystem::copy_options::overwrite_existing);
        const auto run = Export(dir, fault);
        SCOPED_TRACE(fault + "\n" + run.output);
        if (run.status != 1) {
            EXPECT_TRUE(run.status == 0 || run.status == 4) << "an export the fault did not reach";
            return false;
        }
        ++fired;
        EXPECT_TRUE(run.output.find("No space left on device") != std::string::npos ||
                    run.output.find("Input/output error") != std::string::npos)
            << "the system's reason is named";
        const int inFile = MessagesInPst(pst);
        const PffCounts pff = CountByPffexport(pst, dir.File("pff"));
        EXPECT_EQ(pff.items, inFile) << "pffexport reads the same file";
        // Failing before the first document (opening the store, naming its
        // properties) leaves it empty; later, the run stops and says how far
        // it came.
        const int exported = std::max(ExportedBeforeTheFailure(run.output), 0);
        EXPECT_GE(pff.documents, exported) << "counted as exported means in the file";
        // The entry being saved when the store failed may be in the file with
        // some of its items; it is not counted as exported.
        EXPECT_LE(pff.documents, exported + 1) << "nothing beyond the documents counted";
        return true;
    }

    void Sweep(const std::string& kind, const std::string& error, int points) {
        for (int k : FaultPoints(points)) {
            if (!ExportWithFault(kind + ":" + std::to_string(k) + ":" + error)) break;
        }
    }

    TempDir dir;
    int fired = 0;
};

TEST_F(ExportFaultTest, EveryFailurePointStopsTheRunAndKeepsTheFileWhole) {
    Sweep("QUILLBOX_FAULT_PST=write", "ENOSPC", 24);
    Sweep("QUILLBOX_FAULT_PST=sync", "EIO", 16);
    // Batches of three put commits inside every view of the small sample: a
    // failure then also loses saved, uncommitted documents, which the run
    // must no longer count as exported.
    Sweep("QUILLBOX_COMMIT_BATCH=3 QUILLBOX_FAULT_PST=write", "ENOSPC", 24);
    Sweep("QUILLBOX_COMMIT_BATCH=3 QUILLBOX_FAULT_PST=sync", "EIO", 16);
    Sweep("QUILLBOX_FAULT_TEMP=create", "ENOSPC", 10);
    Sweep("QUILLBOX_FAULT_TEMP=write", "ENOSPC", 10);
    EXPECT_GE(fired, 50) << "the sweep reached too few points of the run";
}

TEST(ExportConcurrency, TwoExportsIntoOneStoreOneIsRefusedAndTheFileStaysWhole) {
    TempDir dir;
    MakeSample(dir, 150, 9);
    const std::string pst = dir.File("sample") + kPstName;
    std::filesystem::copy_file(pst, dir.File("empty.pst"));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::filesystem::copy_file(dir.File("empty.pst"), pst, std::filesystem::copy_options::overwrite_existing);
        const std::string export_ = CliEnvironment(dir) + Cli() + " export --ini " +
                                    ShellQuote(dir.File("sample") + "/Quillbox.ini") + " --yes";
        const std::string script = "(" + export_ + " > " + ShellQuote(dir.File("a.txt")) + " 2>&1; echo $? > " +
                                   ShellQuote(dir.File("a.rc")) + ") & (" + export_ + " > " +
                                   ShellQuote(dir.File("b.txt")) + " 2>&1; echo $? > " +
                                   ShellQuote(dir.File("b.rc")) + ") & wait";
        RunCommand("sh -c " + ShellQuote(script));
        const std::string outputs[2] = {ReadFile(dir.File("a.txt")), ReadFile(dir.File("b.txt"))};
        const int codes[2] = {std::stoi(ReadFile(dir.File("a.rc"))), std::stoi(ReadFile(dir.File("b.rc")))};
        int refused = 0, finished = -1;
        for (int i = 0; i < 2; ++i) {
            if (outputs[i].find("is in use by another program") != std::string::npos) {
                ++refused;
                EXPECT_EQ(codes[i], 1) << outputs[i];
            } else {
                finished = i;
            }
        }
        ASSERT_EQ(refused, 1) << outputs[0] << "\n----\n" << outputs[1];
        EXPECT_TRUE(codes[finished] == 0 || codes[finished] == 4) << outputs[finished];
        EXPECT_GT(MessagesInPst(pst), 0);
    }
}

}  // namespace
}  // namespace qb::test
