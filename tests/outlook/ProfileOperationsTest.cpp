// The profile and personal folders operations of the main window and the
// batch, on real personal folders files, and the profiles file shared by
// processes that change it at the same time.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "outlook/ProfileOperations.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/MapiFrontEnd.h"
#include "outlook/mapi/PstStoreProvider.h"
#include "support/ScopedEnv.h"
#include "support/RecordedMessages.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using test::RecordedMessages;

struct ScriptedDialogs : ProfileDialogs {
    std::optional<std::string> name;
    std::optional<std::string> folderType;
    std::optional<std::size_t> preselected;
    std::optional<std::string> AskNewProfileName() override { return name; }
    std::optional<std::string> ChooseFolderType(const std::vector<std::string>&,
                                                std::optional<std::size_t> pre) override {
        preselected = pre;
        return folderType;
    }
};

struct RecordedWindow : ProfileWindow {
    int profileChanges = 0;
    std::vector<std::optional<std::size_t>> storeSelections;
    void ProfileChanged() override { ++profileChanges; }
    void ShowStores(std::optional<std::size_t> store) override { storeSelections.push_back(store); }
};

// The set-up a personal folders service shows: the file the test chose.
struct FileChooser : mapi::MapiFrontEnd {
    std::string path;
    HRESULT ConfigurePersonalFolders(ULONG_PTR, mapi::ServiceSetup& setup) override {
        setup.pstPath = path;
        return S_OK;
    }
    HRESULT SetUpNewProfile(ULONG_PTR, const std::string&, std::vector<mapi::ServiceSetup>&) override { return S_OK; }
    HRESULT ChooseProfile(ULONG_PTR, const std::vector<std::string>&, std::string&) override {
        return MAPI_E_USER_CANCEL;
    }
};

class ProfileOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        configHome.emplace("XDG_CONFIG_HOME", dir.path());
        mapi::RegisterPstStoreProvider();
        MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
        ASSERT_EQ(MAPIInitialize(&init), S_OK);
    }
    void TearDown() override {
        mapi::SetMapiFrontEnd(nullptr);
        MAPIUninitialize();
        configHome.reset();
    }
    std::optional<test::ScopedEnv> configHome;
    test::TempDir dir;
    RecordedMessages messages;
};

TEST_F(ProfileOperationsTest, TheProfileListSelectsByPrefixOrTheDefault) {
    ProfileList list;
    std::string current = "unchanged";
    ASSERT_TRUE(FillProfileList(list, "", current));
    EXPECT_TRUE(list.entries.empty());
    EXPECT_FALSE(list.selected) << "no default profile: nothing selected";
    EXPECT_EQ(current, "unchanged");

    ASSERT_TRUE(AddProfile("Outlook", messages));  // the first becomes the default
    ASSERT_TRUE(AddProfile("Archive", messages));
    ASSERT_TRUE(FillProfileList(list, "", current));
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].text, "Outlook (default)");
    EXPECT_EQ(list.entries[1].text, "Archive");
    EXPECT_EQ(current, "Outlook");
    EXPECT_EQ(list.selected, std::optional<std::size_t>(0));
    ASSERT_TRUE(FillProfileList(list, "Arc", current));
    EXPECT_EQ(list.selected, std::optional<std::size_t>(1));
    EXPECT_EQ(list.names[list.entries[*list.selected].nameIndex], "Archive");

    EXPECT_FALSE(AddProfile("Archive", messages)) << "a name that exists";
    EXPECT_TRUE(RemoveProfile("Archive", messages));
    EXPECT_FALSE(RemoveProfile("Archive", messages));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ProfileOperationsTest, APersonalFoldersServiceIsCreatedFoundAndReleased) {
    ASSERT_TRUE(AddProfile("Batch", messages));
    CMapiSession session;
    ASSERT_EQ(session.Initialize(), S_OK);
    ASSERT_EQ(session.Logon("Batch", "", 3, 0), S_OK);
    PstServiceResult result;
    ASSERT_TRUE(CreatePstService("MSUPST MS", "Batch", "Jane", dir.File("jane.pst"), session, result, messages))
        << (messages.shown.empty() ? "" : messages.shown.back());
    ASSERT_TRUE(result.serviceUid);
    ASSERT_FALSE(result.storeEntryId.empty());
    session.OpenStore(result.storeEntryId);
    EXPECT_TRUE(session.store);
    EXPECT_TRUE(std::filesystem::exists(dir.File("jane.pst")));
    session.Logoff();
    EXPECT_TRUE(RemoveService("Batch", *result.serviceUid, messages));
    ASSERT_EQ(session.Logon("Batch", "", 3, 0), S_OK);
    ASSERT_EQ(session.GetStores(nullptr), S_OK);
    EXPECT_TRUE(session.stores.empty()) << "the file left the profile";
    EXPECT_TRUE(std::filesystem::exists(dir.File("jane.pst"))) << "and stays on disk";

    EXPECT_FALSE(RemoveService("Batch", *result.serviceUid, messages));
    EXPECT_EQ(messages.shown.back(), "Error: Error deleting temporary message service.");
    EXPECT_FALSE(CreatePstService("MSUPST MS", "No Such", "X", dir.File("x.pst"), session, result, messages));
    EXPECT_EQ(messages.shown.back(), "Error: Error getting IMsgServiceAdmin interface.");
    EXPECT_FALSE(CreatePstService("MSEMS", "Batch", "X", dir.File("x.pst"), session, result, messages));
    EXPECT_EQ(messages.shown.back(), "Error: Error creating Message Store message service.");
    session.Logoff();
}

TEST_F(ProfileOperationsTest, NewProfileAndAttachingAFileTwice) {
    CMapiSession session;
    ProfileList list;
    std::string current;
    ProfileState state{session, list, current, "Personal Folders (Outlook 2003+"};
    ScriptedDialogs dialogs;
    RecordedWindow window;
    FileChooser chooser;
    mapi::SetMapiFrontEnd(&chooser);
    dialogs.name = "Mine";
    NewProfile(state, dialogs, window, messages);
    ASSERT_EQ(messages.shown.back(), "Confirmation: Profile Created.");
    EXPECT_EQ(current, "Mine");
    EXPECT_EQ(window.profileChanges, 1);

    ASSERT_EQ(session.Logon("Mine", "", 3, 0), S_OK);
    ASSERT_EQ(session.GetStores(nullptr), S_OK);
    chooser.path = dir.File("mine.pst");
    dialogs.folderType = FolderTypeEntries()[1];
    NewOrAttachService(state, dialogs, window, messages);
    EXPECT_EQ(dialogs.preselected, std::optional<std::size_t>(1));
    ASSERT_EQ(window.storeSelections.size(), 1u);
    EXPECT_EQ(window.storeSelections[0], std::optional<std::size_t>(0));

    // The same file again: nothing new can be told apart.
    NewOrAttachService(state, dialogs, window, messages);
    EXPECT_EQ(window.storeSelections.back(), std::nullopt);
    EXPECT_EQ(messages.shown.back().rfind("Information: You selected a folders file that is already attached", 0), 0u);

    // A DefaultService that matches no entry preselects nothing; Cancel does nothing.
    state.defaultService = "Exchange";
    dialogs.folderType.reset();
    const std::size_t shown = messages.shown.size();
    NewOrAttachService(state, dialogs, window, messages);
    EXPECT_EQ(dialogs.preselected, std::nullopt);
    EXPECT_EQ(messages.shown.size(), shown);

    dialogs.name = "Mine";
    NewProfile(state, dialogs, window, messages);
    EXPECT_EQ(messages.shown.back(),
              "Error: Was unable to create profile. Check that the profile name specified does not already exist.");
    session.Logoff();
}

TEST(ServiceTextTest, DisplayTextsMapToServiceNames) {
    EXPECT_EQ(ServiceNameForText("Personal Folders (Outlook 2003+ PST File) max size theoretical 33TB"), "MSUPST MS");
    EXPECT_EQ(ServiceNameForText("Microsoft Exchange Server"), "MSEMS");
    EXPECT_EQ(ServiceNameForText("Something else"), "");
    EXPECT_EQ(FolderTypeEntries().size(), 2u);
    EXPECT_EQ(PreselectedFolderType("Personal Folders (Outlook 97-2002 PST File)"), std::optional<std::size_t>(0));
}

TEST(FindAddedStoreTest, NewIdentifierFirstElseTheLastOfOneThatGrew) {
    EXPECT_EQ(FindAddedStore({"A", "B"}, {"A", "C", "B"}), std::optional<std::size_t>(1));
    EXPECT_EQ(FindAddedStore({"A", "B"}, {"A", "B", "B"}), std::optional<std::size_t>(2));
    EXPECT_EQ(FindAddedStore({"A", "B"}, {"A", "B"}), std::nullopt);
}

// Processes that add profiles at the same time (batch shards do) lose none
// of them: each change is made under the lock, from the read to the rename.
TEST_F(ProfileOperationsTest, ConcurrentProcessesLoseNoProfile) {
    constexpr int kProcesses = 4, kProfiles = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            RecordedMessages quiet;
            int failures = 0;
            for (int i = 0; i < kProfiles; ++i)
                failures += AddProfile("P" + std::to_string(p) + "-" + std::to_string(i), quiet) ? 0 : 1;
            ::_exit(failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ProfileList list;
    std::string current;
    ASSERT_TRUE(FillProfileList(list, "", current));
    EXPECT_EQ(list.names.size(), static_cast<std::size_t>(kProcesses * kProfiles));
}

}  // namespace
}  // namespace qb
