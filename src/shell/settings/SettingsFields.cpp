#include "shell/settings/SettingsFields.h"

#include <cstring>

namespace qb::settings_detail {

const std::vector<Field>& LoadOrder() {
    using S = ExportSettings;
    static const std::vector<Field> fields = {
        {0, kNotes, "IniFilePath", Form::Text, &S::IniFilePath},

        {10, kLotusNotes, "LockComponents", Form::Flag, &S::LockComponents},
        {10, kLotusNotes, "LockMultiMenu", Form::Flag, &S::LockMultiMenu},
        {10, kLotusNotes, "LockDbSelection", Form::Flag, &S::LockDbSelection},
        {10, kLotusNotes, "RecoveryInfo", Form::Flag, &S::RecoveryInfo},
        {10, kLotusNotes, "Components", Form::ComponentList, &S::Components},
        {10, kLotusNotes, "ExcludeViewFolders", Form::List, &S::ExcludeViewFolders},
        {10, kLotusNotes, "IncludeViewFolders", Form::List, &S::IncludeViewFolders},

        {30, kLotusNotes, "ContactsDestinationFolder", Form::TextOrDefault, &S::ContactsDestinationFolder},
        {30, kLotusNotes, "CalendarDestinationFolder", Form::TextOrDefault, &S::CalendarDestinationFolder},
        {30, kLotusNotes, "TasksDestinationFolder", Form::TextOrDefault, &S::TasksDestinationFolder},
        {30, kLotusNotes, "MailServer", Form::Text, &S::MailServer},
        {30, kLotusNotes, "MailFile", Form::Text, &S::MailFile},
        {30, kLotusNotes, "LotusNotesAddressBookUser1Field", Form::Text, &S::LotusNotesAddressBookUser1Field},
        {30, kLotusNotes, "LotusNotesAddressBookUser2Field", Form::Text, &S::LotusNotesAddressBookUser2Field},
        {30, kLotusNotes, "LotusNotesAddressBookUser3Field", Form::Text, &S::LotusNotesAddressBookUser3Field},
        {30, kLotusNotes, "LotusNotesAddressBookUser4Field", Form::Text, &S::LotusNotesAddressBookUser4Field},
        {30, kOutlook, "OutlookContactsFormName", Form::Text, &S::OutlookContactsFormName},

        {40, kLotusNotes, "UseAbbNotesNames", Form::Flag, &S::UseAbbNotesNames},
        {40, kLotusNotes, "ShowMultiDatabaseErrors", Form::Flag, &S::ShowMultiDatabaseErrors},
        {40, kLotusNotes, "DefaultRemindersEnabled", Form::Flag, &S::DefaultRemindersEnabled},
        {40, kLotusNotes, "MeetingDefaultReminder", Form::Number, &S::MeetingDefaultReminder},
        {40, kLotusNotes, "ReminderDefaultReminder", Form::Number, &S::ReminderDefaultReminder},
        {40, kLotusNotes, "AllDayDefaultReminder", Form::Number, &S::AllDayDefaultReminder},
        {40, kLotusNotes, "AnniversaryDefaultReminder", Form::Number, &S::AnniversaryDefaultReminder},
        {40, kLotusNotes, "ToDoDefaultReminder", Form::Number, &S::ToDoDefaultReminder},
        {40, kOutlook, "OutlookContactsSetDefaultStreetAddress", Form::FlagFirstChar,
         &S::OutlookContactsSetDefaultStreetAddress},
        {40, kLotusNotes, "MarkAnniversariesFree", Form::Flag, &S::MarkAnniversariesFree},
        {40, kLotusNotes, "AttachmentsRenameEXEs", Form::Flag, &S::AttachmentsRenameEXEs},
        {40, kLotusNotes, "ExportDocLinks", Form::Flag, &S::ExportDocLinks},
        {40, kLotusNotes, "TimeZoneManual", Form::Flag, &S::TimeZoneManual},
        {40, kLotusNotes, "TimeZoneHours", Form::Number, &S::TimeZoneHours},
        {40, kLotusNotes, "TimeZoneMinutes", Form::Number, &S::TimeZoneMinutes},
        {40, kLotusNotes, "TimeZoneDstHours", Form::Number, &S::TimeZoneDstHours},
        {40, kLotusNotes, "TimeZoneDstMinutes", Form::Number, &S::TimeZoneDstMinutes},
        {40, kLotusNotes, "FilterByDate", Form::Flag, &S::FilterByDate},
        {40, kLotusNotes, "FilterByBodySize", Form::Flag, &S::FilterByBodySize},
        {40, kLotusNotes, "BodyMinSize", Form::Number, &S::BodyMinSize},
        {40, kLotusNotes, "BodyMaxSize", Form::Number, &S::BodyMaxSize},
        {40, kLotusNotes, "FilterYear", Form::DateBound, &S::FilterFrom},
        {40, kLotusNotes, "FilterYearTo", Form::DateBound, &S::FilterTo},
        {40, kLotusNotes, "BodyFormat", Form::Choice01, &S::BodyFormat},
        {40, kLotusNotes, "AttachImages", Form::Flag, &S::AttachImages},

        {50, kOutlook, "ExportAllUnderSubfolder", Form::Text, &S::ExportAllUnderSubfolder},

        {70, kLotusNotes, "AddressBookServer", Form::Text, &S::AddressBookServer},
        {70, kLotusNotes, "AddressBookFile", Form::Text, &S::AddressBookFile},
        {70, kLotusNotes, "ContactsFormat", Form::Choice01, &S::ContactsFormat},

        {80, kOtherSettings, "LogExport", Form::Flag, &S::LogExport},
        {80, kLotusNotes, "TranslateEmailAddresses", Form::Flag, &S::TranslateEmailAddresses},
        {80, kLotusNotes, "TranslationFilePath", Form::Text, &S::TranslationFilePath},
        {80, kLotusNotes, "TranslateEmailIgnoreNotesDomain", Form::Flag, &S::TranslateEmailIgnoreNotesDomain},

        {90, kMultiExport, "PSTPath", Form::Text, &S::PSTPath},
        {90, kMultiExport, "ServiceName", Form::Text, &S::ServiceName},

        {100, kOutlook, "Profile", Form::Text, &S::Profile},
        {100, kOutlook, "FoldersFile", Form::Text, &S::FoldersFile},
        {100, kOutlook, "FoldersFileEntryID", Form::Text, &S::FoldersFileEntryID},
        {100, kOutlook, "DefaultService", Form::TextOrDefault, &S::DefaultService},
    };
    return fields;
}

const std::vector<const char*>& SaveOrder() {
    // A date bound is named by its first key and writes all six numbers.
    static const std::vector<const char*> order = {
        "Components", "LogExport", "AddressBookServer", "AddressBookFile", "ContactsFormat",
        "UseAbbNotesNames", "BodyFormat", "AttachImages", "AttachmentsRenameEXEs", "ExportDocLinks",
        "MarkAnniversariesFree", "TranslateEmailAddresses", "TranslateEmailIgnoreNotesDomain",
        "TranslationFilePath", "FilterByDate", "FilterByBodySize", "BodyMaxSize", "BodyMinSize",
        "FilterYear", "FilterYearTo", "TimeZoneManual", "TimeZoneHours", "TimeZoneMinutes", "TimeZoneDstHours",
        "TimeZoneDstMinutes", "RecoveryInfo", "ExportAllUnderSubfolder", "Profile", "FoldersFile",
        "FoldersFileEntryID", "DefaultRemindersEnabled", "MeetingDefaultReminder",
        "ReminderDefaultReminder", "AllDayDefaultReminder", "AnniversaryDefaultReminder",
        "ToDoDefaultReminder", "PSTPath", "ServiceName",
    };
    return order;
}

const Field* FindField(const char* key) {
    for (const Field& field : LoadOrder())
        if (std::strcmp(field.key, key) == 0) return &field;
    return nullptr;
}

}  // namespace qb::settings_detail
