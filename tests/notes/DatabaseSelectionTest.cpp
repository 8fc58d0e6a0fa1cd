// The database selection's servers and listings on the generated sample:
// a local data directory, the server Hub/Acme with its mailboxes, and the
// servers the address book's locations remember.

#include <gtest/gtest.h>

#include <filesystem>

#include "notes/DatabaseSelection.h"
#include "notes/sample/SampleGenerator.h"
#include "support/TempDir.h"
#include "text/TextCase.h"

namespace qb {
namespace {

class DatabaseSelectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        notes::sample::SampleOptions options;
        options.outDir = dir.File("sample");
        options.messages = 2;
        options.mailboxes = 3;
        notes::sample::GenerateSample(options);
        ASSERT_EQ(session.Initialize(dir.File("sample/notes.ini")), LNNOERROR);
    }
    std::vector<std::string> Texts(const DatabaseSelection& selection) {
        std::vector<std::string> texts;
        for (const DatabaseRow& row : selection.rows())
            texts.push_back((row.kind == DatabaseRow::Kind::Up ? "up" : row.kind == DatabaseRow::Kind::Folder ? "dir:" : "db:") +
                            row.text);
        return texts;
    }
    test::TempDir dir;
    LNNotesSession session;
};

TEST_F(DatabaseSelectionTest, ServersComeFromNotesIniAndTheLocations) {
    DatabaseSelection selection(session);
    std::string error;
    EXPECT_EQ(selection.ListServers(error), (std::vector<std::string>{"Local", "Archive/Acme", "Hub/Acme"}));
    EXPECT_EQ(error, "");
}

TEST_F(DatabaseSelectionTest, DirectoriesListDatabasesByTitleThenFoldersWithAnUpRowBelowTheRoot) {
    DatabaseSelection selection(session);
    ASSERT_TRUE(selection.UpdateDatabaseList(0, "Local", "", true)) << selection.errorText();
    EXPECT_EQ(Texts(selection), (std::vector<std::string>{"db:Jane Doe's Address Book", "dir:mail"}));
    EXPECT_EQ(selection.DirectoryLabel(), "<root of the Lotus Notes data directory>");
    EXPECT_EQ(selection.FirstFilePath(), "names.dxl");

    ASSERT_TRUE(selection.Activate(1));
    EXPECT_EQ(Texts(selection), (std::vector<std::string>{"up", "db:Jane Doe's Mail"}));
    EXPECT_EQ(selection.rows()[0].icon, DatabaseRow::kUpIcon);
    EXPECT_EQ(selection.DirectoryLabel(), "mail\\");
    EXPECT_EQ(selection.FirstFilePath(), "mail\\jdoe.dxl");
    ASSERT_TRUE(selection.Activate(0));
    EXPECT_EQ(selection.depth(), 0);
    EXPECT_EQ(selection.rows().size(), 2u);

    // "LOCAL" is the local data directory too.
    DatabaseSelection upper(session);
    ASSERT_TRUE(upper.UpdateDatabaseList(0, "LOCAL", "", true));
    EXPECT_EQ(Texts(upper), Texts(selection));
}

TEST_F(DatabaseSelectionTest, AServersMailboxesAndFoldersDifferingInCase) {
    std::filesystem::create_directories(dir.File("sample/server/Mail"));
    std::filesystem::copy_file(dir.File("sample/server/mail/staff01.dxl"), dir.File("sample/server/Mail/copy.dxl"));
    DatabaseSelection selection(session);
    ASSERT_TRUE(selection.UpdateDatabaseList(0, "Hub/Acme", "", true)) << selection.errorText();
    ASSERT_EQ(selection.rows().size(), 1u) << "Mail and mail are one folder";
    EXPECT_TRUE(text::EqualsIgnoreCase(selection.rows()[0].text, "mail"));
    ASSERT_TRUE(selection.UpdateDatabaseList(1, "Hub/Acme", "mail", false));
    EXPECT_EQ(Texts(selection), (std::vector<std::string>{"up", "db:Staff Mailbox 01", "db:Staff Mailbox 02",
                                                          "db:Staff Mailbox 03"}));
    EXPECT_EQ(selection.rows()[1].filePath, "mail\\staff01.dxl");
}

TEST_F(DatabaseSelectionTest, AFailedListingKeepsWhatIsShown) {
    DatabaseSelection selection(session);
    ASSERT_TRUE(selection.UpdateDatabaseList(0, "", "", true));
    ASSERT_TRUE(selection.Activate(1));
    const auto shown = Texts(selection);
    EXPECT_FALSE(selection.UpdateDatabaseList(0, "Nowhere/Acme", "", true));
    EXPECT_TRUE(selection.listingFailed());
    EXPECT_FALSE(selection.errorText().empty());
    EXPECT_EQ(Texts(selection), shown);
    EXPECT_EQ(selection.directory(), "mail");
    EXPECT_EQ(selection.depth(), 1);
    EXPECT_FALSE(selection.Activate(0)) << "rows are ignored while the listing failed";
    ASSERT_TRUE(selection.UpdateDatabaseList(0, "", "", false));
    EXPECT_TRUE(selection.Activate(0));
}

TEST_F(DatabaseSelectionTest, BrowsedDatabasesThatCannotBeReadKeepAMarkerTitle) {
    DatabaseSelection selection(session);
    EXPECT_EQ(selection.DatabaseTitle("mail\\staff01.dxl", "Hub/Acme"), "Staff Mailbox 01");
    EXPECT_EQ(selection.DatabaseTitle(dir.File("sample/data/names.dxl")), "Jane Doe's Address Book");
    EXPECT_EQ(selection.DatabaseTitle("x.dxl", "Nowhere/Acme"), "!Could not get database!");
    EXPECT_EQ(selection.DatabaseTitle("missing.dxl"), "!Could not open database!");
}

TEST(DatabaseSelectionTextTest, MultiSelectionFilenameText) {
    EXPECT_EQ(DatabaseSelection::FilenameText({"a\\b.nsf", "c.nsf"}), "\"a\\b.nsf\" \"c.nsf\"");
    EXPECT_EQ(DatabaseSelection::FilenameText({}), "");
}

}  // namespace
}  // namespace qb
