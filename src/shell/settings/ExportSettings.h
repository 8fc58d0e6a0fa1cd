#pragma once
// Every option of the program, one field per key of "Quillbox.ini", each named
// by its key. Owned by the main window and handed to each export by reference.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace qb {

struct ExportSettings {
    // [Notes]
    std::string IniFilePath;

    // [Lotus Notes], stage 010
    bool LockComponents = false;
    bool LockMultiMenu = false;
    bool LockDbSelection = false;
    bool RecoveryInfo = false;
    std::vector<std::string> Components;
    std::vector<std::string> ExcludeViewFolders;
    std::vector<std::string> IncludeViewFolders;

    // stage 030
    std::string ContactsDestinationFolder = "Contacts";
    std::string CalendarDestinationFolder = "Calendar";
    std::string TasksDestinationFolder = "Tasks";
    std::string MailServer;
    std::string MailFile;
    std::string LotusNotesAddressBookUser1Field;
    std::string LotusNotesAddressBookUser2Field;
    std::string LotusNotesAddressBookUser3Field;
    std::string LotusNotesAddressBookUser4Field;
    std::string OutlookContactsFormName;  // [Outlook]

    // stage 040
    bool UseAbbNotesNames = false;
    bool ShowMultiDatabaseErrors = false;
    bool DefaultRemindersEnabled = false;
    std::int32_t MeetingDefaultReminder = 15;
    std::int32_t ReminderDefaultReminder = 0;
    std::int32_t AllDayDefaultReminder = 1440;
    std::int32_t AnniversaryDefaultReminder = 1440;
    std::int32_t ToDoDefaultReminder = 1440;
    bool OutlookContactsSetDefaultStreetAddress = false;  // [Outlook]
    bool MarkAnniversariesFree = false;
    bool AttachmentsRenameEXEs = false;
    bool ExportDocLinks = false;
    bool TimeZoneManual = false;
    std::int32_t TimeZoneHours = 0;
    std::int32_t TimeZoneMinutes = 0;
    std::int32_t TimeZoneDstHours = 0;
    std::int32_t TimeZoneDstMinutes = 0;
    bool FilterByDate = false;
    bool FilterByBodySize = false;
    std::int32_t BodyMinSize = 0;
    std::int32_t BodyMaxSize = 0;
    // The date range, stored as FilterYear..FilterSecond and
    // FilterYearTo..FilterSecondTo; defaults are set by ApplyDateRangeDefaults.
    std::time_t FilterFrom = 0;
    std::time_t FilterTo = 0;
    std::int32_t BodyFormat = 0;
    bool AttachImages = false;

    // [Outlook], stage 050
    std::string ExportAllUnderSubfolder;

    // [Lotus Notes], stage 060: not a key; the Notes session's mail server,
    // taken while loading when a session is available.
    std::string NotesSessionMailServer;

    // stage 070
    std::string AddressBookServer;
    std::string AddressBookFile;
    std::int32_t ContactsFormat = 0;

    // [Other Settings], stage 080
    bool LogExport = false;
    // [Lotus Notes], stage 080
    bool TranslateEmailAddresses = false;
    std::string TranslationFilePath;
    bool TranslateEmailIgnoreNotesDomain = false;

    // [Multi Export], stage 090
    std::string PSTPath;
    std::string ServiceName;

    // [Outlook], read at start-up
    std::string Profile;
    std::string FoldersFile;
    std::string FoldersFileEntryID;
    std::string DefaultService = "Personal Folders (Outlook 97-2002 PST File)";
};

// From 1 January of the previous year, 00:00:00 local time, to `now`.
void ApplyDateRangeDefaults(ExportSettings& settings, std::time_t now);

}  // namespace qb
