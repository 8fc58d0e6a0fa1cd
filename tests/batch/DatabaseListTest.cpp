// The batch list file: what is written reads back unchanged, the names of
// new items, and the paths the batch derives from an item's PST name.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "batch/BatchExport.h"
#include "batch/DatabaseList.h"
#include "support/RecordedMessages.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using test::RecordedMessages;

DatabaseListItem Awkward() {
    DatabaseListItem item;
    item.title = "Smith, \"Bob\"\r\nsecond line";
    item.server = "CN=Hub/O=Acme";
    item.filePath = "mail\\bsmith.nsf";
    item.outputFolder = "  spaces kept  ";
    item.pstFileName = "bsmith.pst";
    item.done = true;
    item.exportedCount = 12;
    item.processedCount = -3;
    item.statusText = "OK";
    item.resultCode = 5000;
    item.addressBookServer = "";
    item.addressBookPath = "names.nsf";
    item.profile = "Outlook";
    item.password = "p,a\"ss\nword";
    return item;
}

void ExpectSame(const DatabaseListItem& a, const DatabaseListItem& b) {
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.server, b.server);
    EXPECT_EQ(a.filePath, b.filePath);
    EXPECT_EQ(a.outputFolder, b.outputFolder);
    EXPECT_EQ(a.pstFileName, b.pstFileName);
    EXPECT_EQ(a.done, b.done);
    EXPECT_EQ(a.exportedCount, b.exportedCount);
    EXPECT_EQ(a.processedCount, b.processedCount);
    EXPECT_EQ(a.statusText, b.statusText);
    EXPECT_EQ(a.resultCode, b.resultCode);
    EXPECT_EQ(a.addressBookServer, b.addressBookServer);
    EXPECT_EQ(a.addressBookPath, b.addressBookPath);
    EXPECT_EQ(a.profile, b.profile);
    EXPECT_EQ(a.password, b.password);
}

TEST(DatabaseListTest, TheLineFormatIsQuotedTextsAndPlainNumbers) {
    DatabaseListItem item;
    item.title = "A \"B\"";
    item.done = true;
    item.exportedCount = 3;
    item.processedCount = 4;
    item.resultCode = 2000;
    EXPECT_EQ(DatabaseListText({item}), "\"A \"\"B\"\"\",\"\",\"\",\"\",\"\",1,3,4,\"\",2000,\"\",\"\",\"\",\"\"\r\n");
}

TEST(DatabaseListTest, AwkwardFieldsAndLongLinesRoundTripThroughTheFile) {
    test::TempDir dir;
    RecordedMessages messages;
    DatabaseList list(dir.File("QuillboxM.csv"));
    list.items = {Awkward(), Awkward()};
    list.items[1].title = std::string(10000, 'x') + ",end";  // far beyond the old 1999-character lines
    ASSERT_TRUE(list.ExportDatabaseListToCSV("", messages));

    struct stat st {};
    ASSERT_EQ(::stat(dir.File("QuillboxM.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the file holds passwords";

    DatabaseList read(dir.File("QuillboxM.csv"));
    ASSERT_TRUE(read.ImportDatabaseList("", messages));
    ASSERT_EQ(read.items.size(), 2u);
    ExpectSame(read.items[0], list.items[0]);
    ExpectSame(read.items[1], list.items[1]);
    EXPECT_TRUE(read.items[0].HasError());

    // A shorter list replaces the longer one whole.
    list.items.resize(1);
    ASSERT_TRUE(list.ExportDatabaseListToCSV("", messages));
    ASSERT_TRUE(read.ImportDatabaseList("", messages));
    EXPECT_EQ(read.items.size(), 1u);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(DatabaseListTest, HandWrittenLinesReadAsTheOldReaderDid) {
    const auto items = ParseDatabaseList(
        "  \"Title\" , srv ,\"a.nsf\"\r\n"
        "\r\n"
        "\"T2\",,\"b.nsf\",,\"b.pst\",2.9,7.5,-1.2,\"x\",51\n");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Title");
    EXPECT_EQ(items[0].server, "srv");
    EXPECT_EQ(items[0].filePath, "a.nsf");
    EXPECT_EQ(items[0].pstFileName, "") << "missing fields keep their defaults";
    EXPECT_FALSE(items[0].done);
    EXPECT_TRUE(items[1].done);
    EXPECT_EQ(items[1].exportedCount, 7);
    EXPECT_EQ(items[1].processedCount, -1);
    EXPECT_EQ(items[1].resultCode, 51);
}

TEST(DatabaseListTest, AMissingFileLeavesTheListAndSaysSo) {
    test::TempDir dir;
    RecordedMessages messages;
    DatabaseList list(dir.File("none.csv"));
    list.items = {Awkward()};
    EXPECT_FALSE(list.ImportDatabaseList("", messages));
    EXPECT_EQ(list.items.size(), 1u);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Error: Unable to open file " + dir.File("none.csv"));

    std::vector<std::string> collected;
    DatabaseList unwritable(dir.File("no/such/folder/list.csv"));
    EXPECT_FALSE(unwritable.ExportDatabaseListToCSV_V2("", collected));
    ASSERT_EQ(collected.size(), 1u);
    EXPECT_EQ(collected[0].rfind("ExportDatabaseListToCSV_V2 ERROR: 10010, (at 0 of 0 Items)", 0), 0u) << collected[0];
}

TEST(DatabaseListTest, NewItemsGetTheirNamesAndDuplicatesAreRefusedOrRenamed) {
    DatabaseList list;
    std::string message;
    ASSERT_TRUE(list.AddDatabaseListItem("Jane", "", "mail\\jdoe.nsf", "", "", AddSwitches{}, message));
    EXPECT_EQ(list.items[0].pstFileName, "jdoe.pst");
    EXPECT_EQ(list.items[0].outputFolder, "Jane");
    ASSERT_TRUE(list.AddDatabaseListItem("Jane 2", "", "other/jdoe.dxl", "", "", AddSwitches{}, message));
    EXPECT_EQ(list.items[1].pstFileName, "jdoe_2.pst") << "cut at \"/\" as well as \"\\\"";
    EXPECT_TRUE(list.items[1].pstNameChanged);
    ASSERT_TRUE(list.AddDatabaseListItem("Jane 3", "Hub", "mail\\jdoe.nsf", "", "", AddSwitches{}, message));
    EXPECT_EQ(list.items[2].pstFileName, "jdoe_3.pst") << "numbered from the original base, not jdoe_2_3";
    ASSERT_TRUE(list.AddDatabaseListItem("Plain", "", "noext", "", "", AddSwitches{}, message));
    EXPECT_EQ(list.items[3].pstFileName, "noext.pst");
    ASSERT_TRUE(list.AddDatabaseListItem("Dotted dir", "", "v1.2\\box", "", "", AddSwitches{}, message));
    EXPECT_EQ(list.items[4].pstFileName, "box.pst");

    EXPECT_FALSE(list.AddDatabaseListItem("Again", "", "mail\\jdoe.nsf", "", "", AddSwitches{}, message));
    EXPECT_EQ(message, "Duplcate Lotus Notes Database Information for: Jane");
    AddSwitches noRename;
    noRename.renameDuplicatePst = false;
    EXPECT_FALSE(list.AddDatabaseListItem("X", "", "x\\jdoe.nsf", "", "", noRename, message));
    EXPECT_EQ(message, "Duplcate Outlook Information for: Jane");
    EXPECT_EQ(list.items.size(), 5u);

    list.items[0].done = true;
    list.ResetFlags();
    EXPECT_FALSE(list.items[0].done);
}

TEST(DatabaseListTest, APstNameMustStayInsideTheChosenFolder) {
    EXPECT_EQ(PstFileNameProblem("jdoe.pst"), "");
    EXPECT_NE(PstFileNameProblem("../jdoe.pst"), "");
    EXPECT_NE(PstFileNameProblem("..\\jdoe.pst"), "");
    EXPECT_NE(PstFileNameProblem("/etc/jdoe.pst"), "");
    EXPECT_NE(PstFileNameProblem(".."), "");
    EXPECT_NE(PstFileNameProblem(""), "");
}

TEST(DatabaseListTest, TheLogReplacesOnlyTheFileNamesOwnExtension) {
    EXPECT_EQ(BatchLogPath("/out/jdoe.pst"), "/out/jdoe.log");
    EXPECT_EQ(BatchLogPath("/out.d/jdoe"), "/out.d/jdoe.log") << "the folder's dot is not the name's";
    EXPECT_EQ(BatchLogPath("/out/jdoe.log"), "/out/jdoe.log.log") << "never the .pst itself";
    EXPECT_EQ(BatchLogPath("/out/.pst"), "/out/.pst.log");
}

TEST(DatabaseListTest, ItemsThatWouldWriteOneFileAreFound) {
    auto item = [](const char* pst) {
        DatabaseListItem i;
        i.pstFileName = pst;
        return i;
    };
    EXPECT_EQ(SharedFileProblem({item("a.pst"), item("b.pst"), item("")}), "");
    EXPECT_EQ(SharedFileProblem({item("a.pst"), item("b.pst"), item("A.PST")}),
              "items 0 and 2 both write A.PST: give one of them another PST Filename");
    // One item's log is the other's .pst, or both log to one file.
    EXPECT_NE(SharedFileProblem({item("x.pst"), item("x.log")}), "");
    EXPECT_NE(SharedFileProblem({item("a"), item("a.pst")}), "");
}

TEST(DatabaseListTest, AListThatCannotBeWrittenLeavesTheOldFileWhole) {
    test::TempDir dir;
    DatabaseList list(dir.File("QuillboxM.csv"));
    list.items.push_back(Awkward());
    std::vector<std::string> collected;
    ASSERT_TRUE(list.ExportDatabaseListToCSV_V2("", collected));
    const std::string before = test::ReadFile(dir.File("QuillboxM.csv"));
    std::filesystem::create_directories(dir.File("QuillboxM.csv.new/blocked"));
    list.items.push_back(Awkward());
    EXPECT_FALSE(list.ExportDatabaseListToCSV_V2("", collected));
    ASSERT_EQ(collected.size(), 1u);
    EXPECT_NE(collected[0].find("QuillboxM.csv.new"), std::string::npos) << collected[0];
    EXPECT_EQ(test::ReadFile(dir.File("QuillboxM.csv")), before);
}

TEST(DatabaseListTest, AFileOfAnEarlierAttemptIsKeptUnderANumberedName) {
    test::TempDir dir;
    std::string error;
    EXPECT_EQ(KeepEarlierFile(dir.File("a.pst"), error), "");
    dir.Write("a.pst", "first");
    dir.Write("a.1.pst", "older");
    EXPECT_EQ(KeepEarlierFile(dir.File("a.pst"), error), dir.File("a.2.pst"));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.pst")));
    EXPECT_EQ(test::ReadFile(dir.File("a.2.pst")), "first");
    EXPECT_EQ(test::ReadFile(dir.File("a.1.pst")), "older");
}

}  // namespace
}  // namespace qb
