// The start-up sequence without a window, as the window and the command line
// use it: which mailbox, address book, profile and store it chooses from the
// settings and the Notes client's settings, what it does when Notes cannot
// start, and its start-up log.

#include <gtest/gtest.h>

#include <stdexcept>

#include "ExportDoubles.h"
#include "launch/StartUp.h"
#include "outlook/PersonalFolders.h"
#include "shell/platform/PrivateProfile.h"

namespace qb {
namespace {

class StartUpTest : public test::MemoryExportTest {
protected:
    void SetUp() override {
        // The first profile made is the default one.
        SetUpMemoryExport("First", "Mailbox");
        if (HasFatalFailure()) return;
        std::string error;
        ASSERT_EQ(AddPersonalFoldersService("Second", dir.File("a.pst"), false, "Same name", error), S_OK) << error;
        ASSERT_EQ(AddPersonalFoldersService("Second", dir.File("b.pst"), false, "Same name", error), S_OK) << error;
        secondB = StoreEntryIdForFile("Second", dir.File("b.pst")).value_or("");
        ASSERT_FALSE(secondB.empty());
        dir.Write("notes.ini", "[Notes]\nDirectory=" + dir.path() + "\nMailFile=mail/own.dxl\nMailServer=\nNames=names.dxl,other.dxl\n");
        ini = dir.File("Quillbox.ini");
        Set("Notes", "IniFilePath", dir.File("notes.ini"));
    }
    void TearDown() override { TearDownMemoryExport(); }

    void Set(const char* section, const char* key, const std::string& value) const {
        platform::WritePrivateProfileString(section, key, value, ini);
    }
    StartUpState Run() {
        LNNotesSession notes;
        CMapiSession outlook;
        return StartUp(notes, outlook).Run(ini);
    }

    std::string ini;
    std::string secondB;
};

TEST_F(StartUpTest, SavedMailboxProfileAndStoreAreChosenAndEachStartIsLogged) {
    Set("Lotus Notes", "MailServer", "Local");
    Set("Lotus Notes", "MailFile", "mail/saved.dxl");
    Set("Lotus Notes", "AddressBookServer", "*");
    Set("Outlook", "Profile", "Second");
    Set("Outlook", "FoldersFile", "Same name");
    Set("Outlook", "FoldersFileEntryID", secondB);
    StartUpState state = Run();
    EXPECT_TRUE(state.notesAvailable) << state.startupErrorText;
    EXPECT_EQ(state.mailServer, "");
    EXPECT_EQ(state.MailServerShown(), "Local");
    EXPECT_EQ(state.mailFile, "mail/saved.dxl");
    // No address book in the settings: the Notes client's first one.
    EXPECT_EQ(state.addressBookPath, "names.dxl");
    EXPECT_EQ(state.addressBookShown, "Local : names.dxl");
    ASSERT_EQ(state.profiles.names.size(), 2u);
    EXPECT_EQ(state.currentProfile, "Second");
    ASSERT_TRUE(state.storesLoaded);
    ASSERT_NE(state.ChosenStore(), nullptr);
    // Two stores of the same name are told apart by the entry identifier.
    EXPECT_EQ(EntryIdToHex(state.ChosenStore()->entryId), secondB);
    EXPECT_EQ(state.checkpoint, "InitEndMainCatch");
    EXPECT_FALSE(state.exportLogPath.empty());

    Run();
    const std::string log = test::ReadFile(dir.File(kStartUpLogName));
    std::size_t starts = 0;
    for (std::size_t at = log.find("Start Quillbox at: "); at != std::string::npos;
         at = log.find("Start Quillbox at: ", at + 1))
        ++starts;
    EXPECT_EQ(starts, 2u) << log;
    EXPECT_NE(log.find("...Using Profile 'Second' from INI file"), std::string::npos) << log;
    EXPECT_NE(log.find("...Getting INI Settings 010\n"), std::string::npos) << log;
}

TEST_F(StartUpTest, MailFileStarAsksTheNotesClientAndAGoneProfileLeavesTheDefault) {
    Set("Lotus Notes", "MailServer", "Local");
    Set("Lotus Notes", "MailFile", "*");
    Set("Outlook", "Profile", "Gone");
    const StartUpState state = Run();
    EXPECT_EQ(state.mailFile, "mail/own.dxl");
    EXPECT_EQ(state.currentProfile, "First");
    ASSERT_NE(state.ChosenStore(), nullptr);
    EXPECT_EQ(state.ChosenStore()->displayName, "Mailbox");
}

TEST_F(StartUpTest, ANotesSessionThatCannotStartIsExplainedAndOutlookStillStarts) {
    Set("Notes", "IniFilePath", dir.File("missing/notes.ini"));
    const StartUpState state = Run();
    EXPECT_FALSE(state.notesAvailable);
    EXPECT_EQ(state.startupErrorText.rfind("Unable to initialize Lotus Notes session.\r\nError:", 0), 0u)
        << state.startupErrorText;
    EXPECT_NE(state.startupErrorText.find("Invalid Path: NotesIniFilePath=" + dir.File("missing/notes.ini")),
              std::string::npos)
        << state.startupErrorText;
    EXPECT_EQ(state.currentProfile, "First");
    EXPECT_TRUE(state.storesLoaded);
}

TEST_F(StartUpTest, TheFrontEndsListAndBatchWindowComeBeforeDoneInitAndAFailureThereIsReported) {
    LNNotesSession notes;
    CMapiSession outlook;
    StartUpState state;
    std::vector<std::string> seen;
    StartUpHooks hooks;
    hooks.importDatabaseList = [&](StartUpState& s) {
        // The settings are loaded by then: the list lies beside them.
        seen.push_back("list " + s.settings.MailFile);
    };
    hooks.createMultiExport = [&](StartUpState&) { seen.push_back("batch window"); };
    Set("Lotus Notes", "MailFile", "mail/saved.dxl");
    StartUp(notes, outlook).Run(state, ini, hooks);
    EXPECT_EQ(seen, (std::vector<std::string>{"list mail/saved.dxl", "batch window"}));
    EXPECT_TRUE(state.startupErrorText.empty()) << state.startupErrorText;
    const std::string log = test::ReadFile(dir.File(kStartUpLogName));
    const std::size_t list = log.find("...Import Database List CSV\nDone - Import Database List CSV\n");
    const std::size_t multi = log.find("...Multi Create\nDone Init\n");
    EXPECT_NE(list, std::string::npos) << log;
    EXPECT_LT(log.find("...Get Temp\n"), list) << log;
    EXPECT_LT(list, multi) << log;
    EXPECT_NE(log.find("...Initializing Lotus Notes Session\nLotus Notes Session Initialized\n"), std::string::npos)
        << log;

    // A failure that is no Notes error still leaves a window to show it in.
    hooks.createMultiExport = [](StartUpState&) { throw std::runtime_error("no window"); };
    StartUp(notes, outlook).Run(state, ini, hooks);
    EXPECT_EQ(state.startupErrorText, "ERROR: Unexpected Error [INIT]. Check " + dir.File(kStartUpLogName));
    EXPECT_TRUE(state.storesLoaded);
    EXPECT_NE(test::ReadFile(dir.File(kStartUpLogName)).find(state.startupErrorText), std::string::npos);
}

TEST(StartUpChoices, StoreByNameAndIdElseTheLastDefault) {
    const std::vector<StoreInfo> stores = {{true, "A", {1}}, {false, "B", {2}}, {true, "B", {3}}};
    EXPECT_EQ(ChooseStore(stores, "B", "03"), 2);
    EXPECT_EQ(ChooseStore(stores, "B", "02"), 1);
    EXPECT_EQ(ChooseStore(stores, "B", "04"), 2);
    EXPECT_EQ(ChooseStore({{false, "A", {1}}}, "", ""), -1);
}

}  // namespace
}  // namespace qb
