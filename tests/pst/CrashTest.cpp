// A writer process killed at any moment leaves a file that passes the
// checker and holds every message committed before the kill, with small
// batches and with the batches the export commits in.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

// Batches of seven: many commits, kills between and inside them.
CommitPolicy SmallBatches() {
    CommitPolicy policy;
    policy.messages = 7;
    policy.sync = false;  // a killed process loses nothing the kernel already has
    return policy;
}

// The export's batches: 128 messages or a second, never stretched.
CommitPolicy ExportBatches() {
    CommitPolicy policy;
    policy.messages = 128;
    policy.interval = std::chrono::milliseconds(1000);
    policy.adaptive = false;
    policy.sync = false;
    return policy;
}

// The export's batches as the export writes them: synced, the sync and the
// header written behind on a second thread.
CommitPolicy SyncedBatchesWrittenBehind() {
    CommitPolicy policy = ExportBatches();
    policy.sync = true;
    policy.writeBehind = true;
    return policy;
}

// Child: writes messages for ever, reporting each commit's message count on the pipe.
[[noreturn]] void WriteUntilKilled(const std::string& path, int fd, PstFormat format, const CommitPolicy& policy) {
    try {
        auto store = PstStore::Create(path, format, "Crash");
        Nid folder = store->CreateFolder(store->IpmSubtree(), "Inbox");
        store->SetCommitPolicy(policy);
        store->Commit();
        std::uint64_t lastReported = store->commitCount();
        for (std::uint32_t i = 0;; ++i) {
            auto m = store->CreateMessage(folder);
            m->SetProperty(tags::kSubject, PropValue::Unicode("crash " + std::to_string(i)));
            m->SetProperty(0x1000001F, PropValue::Unicode(std::string(100 + i % 9000, 'x')));
            if (i % 5 == 0) m->AddAttachment().Write(Bytes(std::size_t(1000 + (i * 7919) % 90000), std::uint8_t(i)));
            m->Save();
            if (store->commitCount() != lastReported) {
                lastReported = store->commitCount();
                std::uint32_t committed = std::uint32_t(store->committedMessages());
                if (write(fd, &committed, sizeof committed) != sizeof committed) _exit(3);
            }
        }
    } catch (...) {
        _exit(2);
    }
}

void KillAfterCommits(PstFormat format, std::uint32_t commits, useconds_t extraDelay,
                      const CommitPolicy& policy = SmallBatches()) {
    test::TempDir dir;
    std::string path = dir.File("crash.pst");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        WriteUntilKilled(path, fds[1], format, policy);
    }
    close(fds[1]);
    std::uint32_t committed = 0;
    for (std::uint32_t seen = 0; seen < commits;) {
        std::uint32_t value;
        ASSERT_EQ(read(fds[0], &value, sizeof value), ssize_t(sizeof value));
        committed = value;
        ++seen;
    }
    if (extraDelay) usleep(extraDelay);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    // Drain commits reported between our last read and the kill.
    std::uint32_t value;
    while (read(fds[0], &value, sizeof value) == ssize_t(sizeof value)) committed = value;
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status));

    CheckReport report = CheckPstFile(path);
    for (const auto& e : report.errors) ADD_FAILURE() << e;
    auto store = PstStore::Open(path, false);
    Nid folder = store->FindSubfolder(store->IpmSubtree(), "Inbox");
    ASSERT_NE(folder, 0u);
    std::vector<Nid> messages = store->Messages(folder);
    EXPECT_GE(messages.size(), committed);
    std::set<std::string> subjects;
    for (Nid nid : messages) subjects.insert(store->ReadMessage(nid).props.at(0x0037).AsString());
    for (std::uint32_t i = 0; i < committed; ++i) EXPECT_TRUE(subjects.count("crash " + std::to_string(i))) << i;
}

TEST(CrashTest, KilledWriterLeavesEveryCommittedMessage) {
    KillAfterCommits(PstFormat::Unicode, 1, 0);
    KillAfterCommits(PstFormat::Unicode, 3, 1500);
    KillAfterCommits(PstFormat::Unicode, 9, 20000);
    KillAfterCommits(PstFormat::Ansi, 5, 7000);
}

TEST(CrashTest, KilledWriterWithTheExportsBatchesLeavesEveryCommittedMessage) {
    KillAfterCommits(PstFormat::Unicode, 1, 0, ExportBatches());
    KillAfterCommits(PstFormat::Unicode, 2, 30000, ExportBatches());
    KillAfterCommits(PstFormat::Ansi, 3, 5000, ExportBatches());
    KillAfterCommits(PstFormat::Unicode, 2, 0, SyncedBatchesWrittenBehind());
    KillAfterCommits(PstFormat::Unicode, 3, 3000, SyncedBatchesWrittenBehind());
}

}  // namespace
}  // namespace qb::pst
