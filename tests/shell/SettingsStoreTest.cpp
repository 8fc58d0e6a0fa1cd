#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "shell/platform/LocalTime.h"
#include "shell/settings/SettingsStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

using qb::ExportSettings;
using qb::SettingsStore;
using qb::test::TempDir;

namespace {

// Tests pin the zone so that local date fields are predictable.
class SettingsStoreTest : public ::testing::Test {
protected:
    const qb::test::ScopedEnv zone_{"TZ", "Europe/Berlin"};
    ExportSettings LoadFrom(const std::string& content) {
        SettingsStore store(dir.Write("Quillbox.ini", content));
        ExportSettings settings;
        store.Load(settings, nullptr, kNow);
        return settings;
    }
    // 2026-06-15 12:00:00 UTC.
    static constexpr std::time_t kNow = 1781524800;
    TempDir dir;
};

std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
    return *qb::platform::FromLocalFields(y, mo, d, h, mi, s);
}

}  // namespace

TEST_F(SettingsStoreTest, MissingFileGivesEveryDefault) {
    SettingsStore store(dir.File("absent.ini"));
    ExportSettings s;
    store.Load(s, nullptr, kNow);
    EXPECT_TRUE(s.Components.empty());
    EXPECT_EQ(s.ContactsDestinationFolder, "Contacts");
    EXPECT_EQ(s.CalendarDestinationFolder, "Calendar");
    EXPECT_EQ(s.TasksDestinationFolder, "Tasks");
    EXPECT_EQ(s.MeetingDefaultReminder, 15);
    EXPECT_EQ(s.ReminderDefaultReminder, 0);
    EXPECT_EQ(s.AllDayDefaultReminder, 1440);
    EXPECT_EQ(s.AnniversaryDefaultReminder, 1440);
    EXPECT_EQ(s.ToDoDefaultReminder, 1440);
    EXPECT_EQ(s.DefaultService, "Personal Folders (Outlook 97-2002 PST File)");
    EXPECT_EQ(s.FilterFrom, Local(2025, 1, 1, 0, 0, 0));
    EXPECT_EQ(s.FilterTo, kNow);
    EXPECT_FALSE(s.LogExport);
}

TEST_F(SettingsStoreTest, ListsKeepInnerEmptyEntriesAndDropATrailingOne) {
    auto s = LoadFrom(
        "[Lotus Notes]\nComponents=Mail,,Tasks\nExcludeViewFolders=($Trash),Junk,\n"
        "IncludeViewFolders=,\n");
    EXPECT_EQ(s.Components, (std::vector<std::string>{"Mail", "", "Tasks"}));
    EXPECT_EQ(s.ExcludeViewFolders, (std::vector<std::string>{"($Trash)", "Junk"}));
    EXPECT_EQ(s.IncludeViewFolders, (std::vector<std::string>{""}));
    EXPECT_EQ(qb::SplitSettingList(""), std::vector<std::string>{});
}

TEST_F(SettingsStoreTest, NumbersFlagsAndChoicesFollowTheirForms) {
    auto s = LoadFrom(
        "[Lotus Notes]\nMeetingDefaultReminder=\nTimeZoneHours=\nTimeZoneMinutes=-30\n"
        "AllDayDefaultReminder=abc\nToDoDefaultReminder=99999999999\nBodyMaxSize=+42\n"
        "BodyFormat=2\nContactsFormat=1\nRecoveryInfo=yes\nExportDocLinks=1\nAttachImages= 1 \n"
        "[Outlook]\nOutlookContactsSetDefaultStreetAddress=1abc\n"
        "[Other Settings]\nLogExport=1\n");
    EXPECT_EQ(s.MeetingDefaultReminder, 15);
    EXPECT_EQ(s.TimeZoneHours, 0);
    EXPECT_EQ(s.TimeZoneMinutes, -30);
    EXPECT_EQ(s.AllDayDefaultReminder, 1440) << "non-numeric text keeps the default";
    EXPECT_EQ(s.ToDoDefaultReminder, 1440) << "out of 32-bit range keeps the default";
    EXPECT_EQ(s.BodyMaxSize, 42);
    EXPECT_EQ(s.BodyFormat, 0);
    EXPECT_EQ(s.ContactsFormat, 1);
    EXPECT_FALSE(s.RecoveryInfo);
    EXPECT_TRUE(s.ExportDocLinks);
    EXPECT_TRUE(s.AttachImages);
    EXPECT_TRUE(s.OutlookContactsSetDefaultStreetAddress);
    EXPECT_TRUE(s.LogExport);
}

TEST_F(SettingsStoreTest, TextsKeepDefaultsOnlyWhereStoredEmptyMeansDefault) {
    auto s = LoadFrom(
        "[Lotus Notes]\nContactsDestinationFolder=\nCalendarDestinationFolder=Kalender\n"
        "MailFile=mail\\jdoe.dxl\nMailServer=Local\nmailserver=ignored duplicate\n"
        "TranslationFilePath=" + std::string(20000, 'x') + "\n");
    EXPECT_EQ(s.ContactsDestinationFolder, "Contacts");
    EXPECT_EQ(s.CalendarDestinationFolder, "Kalender");
    EXPECT_EQ(s.MailFile, "mail\\jdoe.dxl");
    EXPECT_EQ(s.MailServer, "Local");
    EXPECT_EQ(s.TranslationFilePath.size(), 15000u);
}

TEST_F(SettingsStoreTest, DateBoundIsTakenOnlyWithAPlausibleYearAndMonth) {
    auto keeps = LoadFrom("[Lotus Notes]\nFilterYear=1970\nFilterMonth=5\nFilterDay=1\n"
                          "FilterYearTo=2024\nFilterMonthTo=13\nFilterDayTo=1\n");
    EXPECT_EQ(keeps.FilterFrom, Local(2025, 1, 1, 0, 0, 0));
    EXPECT_EQ(keeps.FilterTo, kNow);

    auto takes = LoadFrom("[Lotus Notes]\nFilterYear=1971\nFilterMonth=1\nFilterDay=2\nFilterHour=3\n"
                          "FilterMinute=4\nFilterSecond=5\nFilterYearTo=2024\nFilterMonthTo=7\n"
                          "FilterDayTo=31\nFilterHourTo=23\nFilterMinuteTo=59\nFilterSecondTo=59\n");
    EXPECT_EQ(takes.FilterFrom, Local(1971, 1, 2, 3, 4, 5));
    // Daylight saving is decided by the system: July in Berlin is UTC+2.
    EXPECT_EQ(takes.FilterTo, 1722463199);  // 2024-07-31 21:59:59 UTC
}

TEST_F(SettingsStoreTest, StagesAreAnnouncedInOrderAndTheSessionServerIsAskedAtSixty) {
    struct Recorder : qb::SettingsLoadObserver {
        std::vector<int> stages;
        int askedAt = 0;
        void OnStage(int stage) override { stages.push_back(stage); }
        std::optional<std::string> SessionMailServer() override {
            askedAt = stages.back();
            return "CN=Mail01/O=Acme";
        }
    } recorder;
    SettingsStore store(dir.File("absent.ini"));
    ExportSettings s;
    store.Load(s, &recorder, kNow);
    EXPECT_EQ(recorder.stages, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90}));
    EXPECT_EQ(recorder.askedAt, 60);
    EXPECT_EQ(s.NotesSessionMailServer, "CN=Mail01/O=Acme");
}

TEST_F(SettingsStoreTest, SaveWritesTheFixedOrderAndNeverTheReadOnlyKeys) {
    ExportSettings s;
    qb::ApplyDateRangeDefaults(s, kNow);
    s.Components = {"Tasks", "", "Mail", "Contacts"};
    s.IniFilePath = "/never/written";
    s.LockComponents = true;
    s.ExcludeViewFolders = {"x"};
    s.FilterFrom = Local(2024, 3, 9, 8, 7, 6);
    const std::string path = dir.File("saved.ini");
    SettingsStore(path).Save(s);

    const std::string text = qb::test::ReadFile(path);
    for (const char* never : {"IniFilePath", "LockComponents", "ExcludeViewFolders", "IncludeViewFolders",
                              "ContactsDestinationFolder", "ShowMultiDatabaseErrors", "MailFile",
                              "OutlookContactsFormName", "LotusNotesAddressBookUser1Field"})
        EXPECT_EQ(text.find(never), std::string::npos) << never;
    EXPECT_NE(text.find("Components=Mail,Tasks,Contacts,\n"), std::string::npos);
    EXPECT_NE(text.find("FilterYear=2024\nFilterMonth=3\nFilterDay=9\nFilterHour=8\nFilterMinute=7\n"
                        "FilterSecond=6\nFilterYearTo=2026"),
              std::string::npos);

}

TEST_F(SettingsStoreTest, SavedSettingsLoadBackUnchanged) {
    ExportSettings s;
    qb::ApplyDateRangeDefaults(s, kNow);
    s.Components = {"Mail", "Calendar"};
    s.LogExport = true;
    s.AddressBookServer = "CN=Hub/O=Acme";
    s.ContactsFormat = 1;
    s.TranslationFilePath = "/data/map.csv";
    s.TimeZoneDstMinutes = -45;
    s.ExportAllUnderSubfolder = "Lotus Notes";
    s.FoldersFileEntryID = "0000ABCD";
    s.ToDoDefaultReminder = 30;
    s.PSTPath = "/srv/pst";
    s.ServiceName = "MSUPST MS";
    const std::string path = dir.File("roundtrip.ini");
    SettingsStore(path).Save(s);

    ExportSettings loaded;
    SettingsStore(path).Load(loaded, nullptr, kNow);
    EXPECT_EQ(loaded.Components, s.Components);
    EXPECT_TRUE(loaded.LogExport);
    EXPECT_EQ(loaded.AddressBookServer, s.AddressBookServer);
    EXPECT_EQ(loaded.ContactsFormat, 1);
    EXPECT_EQ(loaded.TranslationFilePath, s.TranslationFilePath);
    EXPECT_EQ(loaded.TimeZoneDstMinutes, -45);
    EXPECT_EQ(loaded.ExportAllUnderSubfolder, "Lotus Notes");
    EXPECT_EQ(loaded.FoldersFileEntryID, "0000ABCD");
    EXPECT_EQ(loaded.ToDoDefaultReminder, 30);
    EXPECT_EQ(loaded.PSTPath, "/srv/pst");
    EXPECT_EQ(loaded.ServiceName, "MSUPST MS");
    EXPECT_EQ(loaded.FilterFrom, s.FilterFrom);
    EXPECT_EQ(loaded.FilterTo, s.FilterTo);
}
