// A write, sync or create that fails at any point of a store's writing
// leaves the store at its last commit: the checker passes it, pffexport reads
// as many messages as our reader, and every message committed before the
// fault is there. Faults come from the file layer's injector, the same one
// QUILLBOX_FAULT_PST sets for whole programs.

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <sys/wait.h>

#include "PstReaders.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstFaultInjection.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "outlook/pst/sample/SampleWriter.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

constexpr std::size_t kMessages = 40;

std::string Subject(std::size_t i) { return "fault " + std::to_string(i); }

struct Outcome {
    bool failed = false;
    std::string error;
    std::size_t committed = 0;  // messages 0..committed-1 were committed before the fault
};

// Creates a store and writes kMessages into two folders, committing every
// fourth message, as an export does; stops at the first failure.
// With `pageBudget`, the store keeps that few B-tree pages and two
// allocation-map regions in memory and reads the others back as it writes.
Outcome WriteStore(const std::string& path, PstFormat format, std::size_t pageBudget = 0) {
    Outcome outcome;
    try {
        auto store = PstStore::Create(path, format, "Faults");
        if (pageBudget) {
            store->database().SetPageBudgetForTest(pageBudget);
            store->database().SetRegionBudgetForTest(2);
        }
        CommitPolicy policy;
        policy.messages = 4;
        policy.adaptive = false;
        store->SetCommitPolicy(policy);
        const Nid inbox = store->CreateFolder(store->IpmSubtree(), "Inbox");
        const Nid sub = store->CreateFolder(inbox, "Sub");
        try {
            for (std::size_t i = 0; i < kMessages; ++i) {
                auto m = store->CreateMessage(i % 3 ? inbox : sub);
                m->SetProperty(tags::kSubject, PropValue::Unicode(Subject(i)));
                m->SetProperty(0x1000001F, PropValue::Unicode(std::string(200 + i * 300, char('a' + i % 26))));
                if (i % 5 == 0) m->AddAttachment().Write(Bytes(20000 + i * 1000, std::uint8_t(i)));
                m->Save();
                outcome.committed = store->committedMessages();
            }
            store->Close();
            outcome.committed = store->committedMessages();
        } catch (const PstError&) {
            outcome.committed = store->committedMessages();
            throw;
        }
    } catch (const PstError& e) {
        outcome.failed = true;
        outcome.error = e.what();
    }
    return outcome;
}

class FaultInjectionTest : public ::testing::Test {
protected:
    void TearDown() override { ClearPstFaultForTest(); }

    // The file after a fault: at its last commit, read alike by both readers.
    void ExpectAtLastCommit(const std::string& path, const Outcome& outcome, const std::string& what) {
        if (outcome.committed == 0 && !std::filesystem::exists(path)) return;
        CheckReport report = CheckPstFile(path);
        if (outcome.committed == 0 && !report.ok()) return;  // the fault came before the first commit
        ASSERT_TRUE(report.ok()) << what << ": " << report.errors.front();
        auto store = PstStore::Open(path, false);
        const std::size_t ours = test::OurMessageCount(*store);
        EXPECT_GE(ours, outcome.committed) << what;
        std::set<std::string> subjects;
        test::ForEachMessageSubject(*store, [&](const std::string& s) { subjects.insert(s); });
        for (std::size_t i = 0; i < outcome.committed; ++i) EXPECT_TRUE(subjects.count(Subject(i))) << what << ": " << i;
        if (pff_) {
            EXPECT_EQ(test::PffexportMessageCount(path, dir_.File("pff")), ours) << what;
        }
    }

    test::TempDir dir_;
    bool pff_ = test::ProgramAvailable("pffexport");
};

TEST_F(FaultInjectionTest, EveryFailedWriteOrSyncLeavesTheLastCommit) {
    for (PstFormat format : {PstFormat::Unicode, PstFormat::Ansi}) {
        ClearPstFaultForTest();  // counts without failing
        const Outcome clean = WriteStore(dir_.File("clean.pst"), format);
        ASSERT_FALSE(clean.failed) << clean.error;
        const std::uint64_t writes = PstFaultCountForTest(PstFaultOp::Write);
        const std::uint64_t syncs = PstFaultCountForTest(PstFaultOp::Sync);
        ASSERT_GT(writes, 100u);
        ASSERT_GT(syncs, 5u);
        const std::size_t points = format == PstFormat::Unicode ? 50 : 12;
        std::vector<std::pair<PstFaultOp, std::uint64_t>> faults;
        for (std::size_t i = 0; i < points; ++i) faults.emplace_back(PstFaultOp::Write, 1 + i * (writes - 1) / (points - 1));
        for (std::uint64_t k = 1; k <= syncs; k += std::max<std::uint64_t>(1, syncs / 8)) faults.emplace_back(PstFaultOp::Sync, k);
        for (const auto& [op, k] : faults) {
            const std::string what = std::string(op == PstFaultOp::Write ? "write " : "sync ") + std::to_string(k) +
                                     (format == PstFormat::Unicode ? " unicode" : " ansi");
            const std::string path = dir_.File("fault.pst");
            std::filesystem::remove(path);
            SetPstFaultForTest(op, k, op == PstFaultOp::Write ? ENOSPC : EIO);
            const Outcome outcome = WriteStore(path, format);
            ClearPstFaultForTest();
            ASSERT_TRUE(outcome.failed) << what << ": the fault was not reported";
            EXPECT_NE(outcome.error.find(op == PstFaultOp::Write ? "No space left" : "Input/output error"), std::string::npos)
                << what << ": " << outcome.error;
            ExpectAtLastCommit(path, outcome, what);
        }
    }
}

// Pages and map regions dropped from memory are read back while writing: a
// read that fails stops the writing and leaves the last commit.
TEST_F(FaultInjectionTest, EveryFailedReadOfAPageLeavesTheLastCommit) {
    for (PstFormat format : {PstFormat::Unicode, PstFormat::Ansi}) {
        ClearPstFaultForTest();
        const Outcome clean = WriteStore(dir_.File("clean.pst"), format, 4);
        ASSERT_FALSE(clean.failed) << clean.error;
        const std::uint64_t reads = PstFaultCountForTest(PstFaultOp::Read);
        ASSERT_GE(reads, 4u);
        const std::size_t points = std::min<std::size_t>(reads, format == PstFormat::Unicode ? 20 : 8);
        for (std::size_t i = 0; i < points; ++i) {
            const std::uint64_t k = 1 + i * (reads - 1) / (points - 1);
            const std::string what = "read " + std::to_string(k) + (format == PstFormat::Unicode ? " unicode" : " ansi");
            const std::string path = dir_.File("fault.pst");
            std::filesystem::remove(path);
            SetPstFaultForTest(PstFaultOp::Read, k, EIO);
            const Outcome outcome = WriteStore(path, format, 4);
            ClearPstFaultForTest();
            ASSERT_TRUE(outcome.failed) << what << ": the fault was not reported";
            EXPECT_NE(outcome.error.find("Input/output error"), std::string::npos) << what << ": " << outcome.error;
            ExpectAtLastCommit(path, outcome, what);
        }
    }
}

TEST_F(FaultInjectionTest, FailedCreateSaysWhy) {
    SetPstFaultForTest(PstFaultOp::Create, 1, EACCES);
    const Outcome outcome = WriteStore(dir_.File("denied.pst"), PstFormat::Unicode);
    EXPECT_TRUE(outcome.failed);
    EXPECT_NE(outcome.error.find("cannot be created: Permission denied"), std::string::npos) << outcome.error;
    EXPECT_FALSE(std::filesystem::exists(dir_.File("denied.pst")));
}

// The environment form drives a whole program: pst-sample fails with the
// system's reason and leaves a file that pst-check passes.
TEST_F(FaultInjectionTest, AProgramRunWithAFaultFailsAndLeavesItsLastCommit) {
    SampleOptions options;
    options.messages = 60;
    ClearPstFaultForTest();
    WriteSampleStore(dir_.File("counted.pst"), options);
    const std::uint64_t writes = PstFaultCountForTest(PstFaultOp::Write);
    for (std::uint64_t k : {writes / 3, writes * 2 / 3}) {
        const std::string path = dir_.File("cli.pst");
        std::filesystem::remove(path);
        const std::string cli = test::ShellQuote(QUILLBOX_CLI);
        const std::string run = "QUILLBOX_FAULT_PST=write:" + std::to_string(k) + ":ENOSPC " + cli +
                                " pst-sample --messages 60 " + test::ShellQuote(path) + " 2>" +
                                test::ShellQuote(dir_.File("err.txt")) + " >/dev/null";
        const int status = std::system(run.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "write " << k << ": the run reported success";
        EXPECT_NE(test::ReadFile(dir_.File("err.txt")).find("No space left on device"), std::string::npos)
            << test::ReadFile(dir_.File("err.txt"));
        const int check = std::system((cli + " pst-check " + test::ShellQuote(path) + " >/dev/null 2>&1").c_str());
        EXPECT_EQ(check, 0) << "write " << k << ": pst-check rejects the file left behind";
    }
}

TEST(PstFaultText, ParsesTheEnvironmentForm) {
    PstFaultOp op;
    std::uint64_t k = 0;
    int error = 0;
    ASSERT_TRUE(ParsePstFault("write:17:ENOSPC", op, k, error));
    EXPECT_EQ(op, PstFaultOp::Write);
    EXPECT_EQ(k, 17u);
    EXPECT_EQ(error, ENOSPC);
    ASSERT_TRUE(ParsePstFault("sync:2:EIO", op, k, error));
    EXPECT_EQ(op, PstFaultOp::Sync);
    ASSERT_TRUE(ParsePstFault("create:1:EACCES", op, k, error));
    EXPECT_EQ(op, PstFaultOp::Create);
    ASSERT_TRUE(ParsePstFault("read:5:EIO", op, k, error));
    EXPECT_EQ(op, PstFaultOp::Read);
    for (const char* bad : {"", "write", "write:0:EIO", "write:x:EIO", "write:3:", "seek:1:EIO", "write:1:EWHAT"})
        EXPECT_FALSE(ParsePstFault(bad, op, k, error)) << bad;
}

}  // namespace
}  // namespace qb::pst
