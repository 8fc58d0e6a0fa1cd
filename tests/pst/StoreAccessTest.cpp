// Who may open a store: one writer at a time (an exclusive lock held while
// the store is open; readers share theirs), never a file marked read-only or
// one whose structures fail their checks; new files are the user's alone.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "PstReaders.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

void AddMessages(PstStore& store, const std::string& prefix, std::size_t count) {
    Nid inbox = store.FindSubfolder(store.IpmSubtree(), "Inbox");
    if (!inbox) inbox = store.CreateFolder(store.IpmSubtree(), "Inbox");
    for (std::size_t i = 0; i < count; ++i) {
        auto m = store.CreateMessage(inbox);
        m->SetProperty(tags::kSubject, PropValue::Unicode(prefix + std::to_string(i)));
        m->Save();
        store.Commit();
    }
}

// The error an open throws, or none.
std::optional<PstError> OpenError(const std::string& path, bool writable) {
    try {
        PstStore::Open(path, writable);
    } catch (const PstError& e) {
        return e;
    }
    return std::nullopt;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

class StoreAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto store = PstStore::Create(path_, PstFormat::Unicode, "Access");
        AddMessages(*store, "first ", 3);
        store->Close();
    }
    test::TempDir dir_;
    std::string path_ = dir_.File("store.pst");
};

TEST_F(StoreAccessTest, ASecondWriterOrAReaderIsRefusedWhileOneWrites) {
    auto writer = PstStore::Open(path_, true);
    for (bool writable : {true, false}) {
        auto error = OpenError(path_, writable);
        ASSERT_TRUE(error) << "a second open (writable " << writable << ") got the store";
        EXPECT_EQ(error->kind(), PstErrorKind::InUse);
        EXPECT_EQ(std::string(error->what()), "The personal folders file '" + path_ + "' is in use by another program.");
    }
    // Creating the file anew must neither get it nor empty it.
    EXPECT_THROW(PstStore::Create(path_, PstFormat::Unicode, "Again"), PstError);
    AddMessages(*writer, "second ", 2);
    writer->Close();
    writer.reset();
    auto reader = PstStore::Open(path_, false);
    auto otherReader = PstStore::Open(path_, false);  // readers share
    EXPECT_EQ(test::OurMessageCount(*reader), 5u);
    EXPECT_EQ(OpenError(path_, true)->kind(), PstErrorKind::InUse);
}

TEST_F(StoreAccessTest, ReadOnlyFilesAreNotWrittenEvenByRoot) {
    ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
    auto error = OpenError(path_, true);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), PstErrorKind::NoAccess);
    const std::string text = error->what();
    // Root gets past the open, where the mode is the only sign; others the system stops.
    EXPECT_TRUE(text.find("is read-only and is not written into") != std::string::npos ||
                text.find("cannot be opened for writing: Permission denied") != std::string::npos)
        << text;
    EXPECT_FALSE(OpenError(path_, false)) << "reading it is fine";
    EXPECT_EQ(ModeOf(path_), 0444u);
}

TEST_F(StoreAccessTest, NewFilesAreTheUsersAloneAndExistingOnesKeepTheirMode) {
    EXPECT_EQ(ModeOf(path_), 0600u);
    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    PstStore::Open(path_, true)->Close();
    EXPECT_EQ(ModeOf(path_), 0640u);
    PstStore::Create(path_, PstFormat::Ansi, "Again")->Close();
    EXPECT_EQ(ModeOf(path_), 0640u);
}

TEST_F(StoreAccessTest, DamagedFilesAreNotWrittenInto) {
    auto db = NodeDatabase::Open(path_, false);
    const std::uint64_t nbtRoot = db->header().nbt.ib;
    db.reset();
    {
        std::fstream f(path_, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(std::streamoff(nbtRoot + 10));
        f.put('\x5A');  // the page's CRC no longer matches
    }
    const std::string before = test::ReadFile(path_);
    auto error = OpenError(path_, true);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), PstErrorKind::Damaged);
    const std::string text = error->what();
    EXPECT_NE(text.find("is damaged and is not written into"), std::string::npos) << text;
    EXPECT_NE(text.find("fails its CRC"), std::string::npos) << text;
    EXPECT_NE(text.find("pst-check"), std::string::npos) << text;
    EXPECT_EQ(test::ReadFile(path_), before);
}

TEST_F(StoreAccessTest, SpaceInUseThatTheMapsCallFreeIsDamage) {
    const FormatTraits& traits = FormatTraits::Of(PstFormat::Unicode);
    {
        std::fstream f(path_, std::ios::binary | std::ios::in | std::ios::out);
        std::uint8_t page[kPageSize];
        f.seekg(std::streamoff(kFirstAMapOffset));
        f.read(reinterpret_cast<char*>(page), kPageSize);
        std::fill_n(page + 8, 488 - 8, 0);  // everything after the first 64 units: free
        SealPage(page, traits, kPageAMap, 0, kFirstAMapOffset);
        f.seekp(std::streamoff(kFirstAMapOffset));
        f.write(reinterpret_cast<const char*>(page), kPageSize);
    }
    auto error = OpenError(path_, true);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), PstErrorKind::Damaged);
    EXPECT_NE(std::string(error->what()).find("is not allocated in the allocation maps"), std::string::npos)
        << error->what();
}

// Two processes start writing into one store at the same moment, many times:
// one is refused with the reason, the other's messages all arrive, and the
// file stays sound.
TEST_F(StoreAccessTest, TwoWriterProcessesAtOnce) {
    constexpr int kRounds = 12;
    constexpr int kRefused = 10;
    std::size_t expected = 3;
    for (int round = 0; round < kRounds; ++round) {
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            children[c] = fork();
            ASSERT_GE(children[c], 0);
            if (children[c] == 0) {
                close(go[1]);
                char byte;
                if (read(go[0], &byte, 1) != 0) _exit(3);  // wait for the start: the pipe's end
                try {
                    const auto start = std::chrono::steady_clock::now();
                    auto store = PstStore::Open(path_, true);
                    AddMessages(*store, "round " + std::to_string(round) + " writer " + std::to_string(c) + " ", 5);
                    // A real export holds the store far longer; make sure the other one meets it.
                    std::this_thread::sleep_until(start + std::chrono::milliseconds(300));
                    store->Close();
                    _exit(0);
                } catch (const PstError& e) {
                    _exit(e.kind() == PstErrorKind::InUse &&
                                  std::string(e.what()).find("is in use by another program") != std::string::npos
                              ? kRefused
                              : 4);
                } catch (...) {
                    _exit(5);
                }
            }
        }
        close(go[0]);
        close(go[1]);
        int codes[2];
        for (int c = 0; c < 2; ++c) {
            int status = 0;
            ASSERT_EQ(waitpid(children[c], &status, 0), children[c]);
            ASSERT_TRUE(WIFEXITED(status)) << "round " << round;
            codes[c] = WEXITSTATUS(status);
        }
        std::sort(codes, codes + 2);
        EXPECT_EQ(codes[0], 0) << "round " << round;
        EXPECT_EQ(codes[1], kRefused) << "round " << round;
        expected += 5;
        CheckReport report = CheckPstFile(path_);
        ASSERT_TRUE(report.ok()) << "round " << round << ": " << report.errors.front();
        EXPECT_EQ(test::OurMessageCount(*PstStore::Open(path_, false)), expected) << "round " << round;
    }
}

}  // namespace
}  // namespace qb::pst
