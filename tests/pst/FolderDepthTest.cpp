// Folders nest deeper than any fixed recursion allowed: the checker, our
// reader and pst-dump walk them all (as libpff and libpst do), and creating
// one beyond the store's depth limit is refused with the reason.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>

#include "PstReaders.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

constexpr std::size_t kLevels = 120;

std::string RunAndRead(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::array<char, 65536> buffer;
    while (pipe && !std::feof(pipe.get())) out.append(buffer.data(), std::fread(buffer.data(), 1, buffer.size(), pipe.get()));
    return out;
}

class FolderDepthTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto store = PstStore::Create(path_, PstFormat::Unicode, "Deep");
        Nid folder = store->IpmSubtree();
        for (std::size_t level = 0; level < kLevels; ++level) {
            folder = store->CreateFolder(folder, "d" + std::to_string(level));
            auto m = store->CreateMessage(folder);
            m->SetProperty(tags::kSubject, PropValue::Unicode("level " + std::to_string(level)));
            m->Save();
        }
        store->Close();
    }
    test::TempDir dir_;
    std::string path_ = dir_.File("deep.pst");
};

TEST_F(FolderDepthTest, EveryLevelIsCheckedReadAndDumped) {
    CheckReport report = CheckPstFile(path_);
    ASSERT_TRUE(report.ok()) << report.errors.front();
    EXPECT_EQ(report.messages, kLevels);
    EXPECT_EQ(report.folders, kLevels + 5);  // root, top, search root, deleted items, common views
    auto store = PstStore::Open(path_, false);
    EXPECT_EQ(test::OurMessageCount(*store), kLevels);
    EXPECT_EQ(store->FolderDepth(store->FindSubfolder(store->IpmSubtree(), "d0")), 2u);

    std::string deepest;
    for (std::size_t level = 0; level < kLevels; ++level) deepest += (level ? "\\\\d" : "d") + std::to_string(level);
    const std::string json = RunAndRead(std::string(QUILLBOX_CLI) + " pst-dump --json " + test::ShellQuote(path_));
    EXPECT_NE(json.find("{\"path\":\"" + deepest + "\""), std::string::npos) << "pst-dump lost the deepest folder";
    std::size_t listed = 0;
    for (std::size_t at = json.find("\"messages\":1,"); at != std::string::npos; at = json.find("\"messages\":1,", at + 1))
        ++listed;
    EXPECT_EQ(listed, kLevels);

    if (test::ProgramAvailable("pffexport")) {
        EXPECT_EQ(test::PffexportMessageCount(path_, dir_.File("pff")), kLevels);
    }
    if (test::ProgramAvailable("readpst")) {
        EXPECT_EQ(test::ReadpstMessageCount(path_, dir_.File("readpst")), kLevels);
    }
}

TEST_F(FolderDepthTest, NoFolderIsCreatedBeyondTheLimit) {
    auto store = PstStore::Open(path_, true);
    Nid folder = store->IpmSubtree();
    for (std::size_t level = 0; level < kLevels; ++level) folder = store->FindSubfolder(folder, "d" + std::to_string(level));
    ASSERT_EQ(store->FolderDepth(folder), kLevels + 1);
    std::size_t created = 0;
    try {
        for (;;) {
            folder = store->CreateFolder(folder, "x");
            ++created;
        }
    } catch (const PstError& e) {
        EXPECT_NE(std::string(e.what()).find("more than 300 levels deep"), std::string::npos) << e.what();
    }
    EXPECT_EQ(created, PstStore::kMaxFolderDepth - (kLevels + 1));
    EXPECT_EQ(store->FolderDepth(folder), PstStore::kMaxFolderDepth);
    store->Close();
    store.reset();
    CheckReport report = CheckPstFile(path_);
    EXPECT_TRUE(report.ok()) << report.errors.front();
}

}  // namespace
}  // namespace qb::pst
