#pragma once
// Calendar entries and tasks converted into the in-memory store, and the
// items read back with their standard and named properties.

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../notes/MailboxFixture.h"
#include "../outlook/SavedMessages.h"
#include "MailTestSupport.h"
#include "convert/CalendarConverter.h"
#include "convert/TaskConverter.h"
#include "convert/TimeZoneOffsets.h"
#include "notes/NotesErrorText.h"
#include "outlook/NamedProperties.h"
#include "outlook/mapi/MapiApi.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/LocalTime.h"
#include "shell/platform/Paths.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb::test {

// One document of the form; `items` is the DXL of its items.
inline std::string EntryDxl(int number, const std::string& form, const std::string& items) {
    return fmt::format(
        "<document form='{}'><noteinfo noteid='{:x}' unid='DDDDDDDD33333333852500000000{:04X}'>"
        "<created><datetime>20240105T101530,00+01</datetime></created></noteinfo>\n{}\n</document>\n",
        form, 0x800 + number * 4, number, items);
}
inline std::string EntryUnid(int number) { return fmt::format("DDDDDDDD33333333852500000000{:04X}", number); }

inline std::string Number(const std::string& name, double value) {
    return fmt::format("<item name='{}'><number>{}</number></item>", name, value);
}
// One value: a single date/time item; more: a list.
inline std::string Times(const std::string& name, const std::vector<std::string>& values) {
    if (values.size() == 1) return "<item name='" + name + "'><datetime>" + values[0] + "</datetime></item>";
    std::string dxl = "<item name='" + name + "'><datetimelist>";
    for (const std::string& value : values) dxl += "<datetime>" + value + "</datetime>";
    return dxl + "</datetimelist></item>";
}

// An item read back: the properties the tests look at.
struct ReadItem {
    std::string messageClass, subject, location, body, owner;
    std::optional<std::time_t> start, end, due, taskStart, signal, reminderTime;
    std::optional<LONG> duration, busy, reminderDelta, sensitivity, status, importance;
    std::optional<bool> allDay, reminderSet, complete;
    std::optional<double> percent;
    std::vector<std::pair<std::string, LONG>> recipients;
};

class CalendarFixture : public ::testing::Test {
protected:
    void SetUp() override {
        tmpDirEnv.emplace("TMPDIR", dir.path());
        tempFolder = platform::TempFolder();
        ASSERT_NO_FATAL_FAILURE(OpenMemoryMailFolder(dir.path(), configHome, outlook, folder));
        ASSERT_TRUE(InitNamedProps(outlook)) << outlook.lastError;
        dir.Write("notes.ini", "[Notes]\nDirectory=" + dir.path() + "\n");
        ASSERT_EQ(session.Initialize(dir.File("notes.ini")), LNNOERROR);
        log.logToFile = true;
        log.SetSingleDatabasePath(dir.File("exportlog.txt"));
        settings.UseAbbNotesNames = true;
    }
    void TearDown() override {
        database.Close();
        folder.reset();
        outlook.Logoff();
        outlook.Uninitialize();
        mapi::SetMsgStoreProvider(nullptr);
        LNSetThrowAllErrorsGlobal(false);
        configHome.reset();
        tmpDirEnv.reset();
    }

    // Loads the documents; the offsets are those of the zone in force now.
    void Load(const std::string& documents) {
        dir.Write("mail.dxl", MailboxDxl(documents));
        ASSERT_EQ(session.GetDatabase("mail.dxl", &database), LNNOERROR);
        ASSERT_EQ(database.Open(), LNNOERROR);
        run.offsets = ComputeOffsets(settings);
        LNSetThrowAllErrorsGlobal(true);
    }
    EntryContext Context() { return EntryContext{run, settings, log, progress, outlook, tempFolder}; }
    LNDocument Document(int number) {
        LNDocument document;
        ScopedNotesThrowMode returnCodes(false);
        EXPECT_EQ(database.GetDocumentByUNID(EntryUnid(number), &document), LNNOERROR) << number;
        EXPECT_EQ(document.Open(), LNNOERROR);
        return document;
    }
    template <class Converter>
    void Convert(Converter& converter, int number) {
        LNDocument document = Document(number);
        converter.Convert(*folder, session, document);
    }
    void ConvertEntry(int number) {
        CalendarConverter converter(Context());
        Convert(converter, number);
    }
    void ConvertTask(int number) {
        TaskConverter converter(Context());
        Convert(converter, number);
    }
    std::string Log() const { return ReadFile(dir.File("exportlog.txt")); }

    // Every item of the folder, in the order they were saved.
    std::vector<ReadItem> Items() {
        using namespace qb::mapi;
        std::vector<ReadItem> items;
        MapiPtr<IMAPITable> contents;
        EXPECT_EQ(folder->folder->GetContentsTable(0, contents.Put()), S_OK);
        SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
        RowSetHolder rows;
        EXPECT_EQ(HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                 rows.Put()),
                  S_OK);
        for (ULONG i = 0; i < rows->cRows; ++i) {
            const SBinary& id = rows->aRow[i].lpProps[0].Value.bin;
            MapiPtr<IMessage> m;
            ULONG type = 0;
            EXPECT_EQ(folder->folder->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type,
                                                m.PutUnknown()),
                      S_OK);
            items.push_back(Read(m.get()));
        }
        return items;
    }

    static ReadItem Read(IMessage* m) {
        using namespace qb::mapi;
        const NamedPropertyTags& tags = NamedTags();
        auto get = [&](ULONG tag) {
            MapiBuffer<SPropValue> v;
            if (tag == PR_NULL || FAILED(HrGetOneProp(m, tag, v.Put()))) v.Reset();
            return v;
        };
        auto text = [&](ULONG tag) {
            auto v = get(tag);
            return v ? std::string(v->Value.lpszA) : std::string();
        };
        auto time = [&](ULONG tag) -> std::optional<std::time_t> {
            auto v = get(tag);
            if (!v) return std::nullopt;
            const auto ft = (static_cast<std::uint64_t>(v->Value.ft.dwHighDateTime) << 32) | v->Value.ft.dwLowDateTime;
            return platform::FileTimeToUnix(ft);
        };
        auto number = [&](ULONG tag) -> std::optional<LONG> {
            auto v = get(tag);
            return v ? std::optional<LONG>(v->Value.l) : std::nullopt;
        };
        auto flag = [&](ULONG tag) -> std::optional<bool> {
            auto v = get(tag);
            return v ? std::optional<bool>(v->Value.b != 0) : std::nullopt;
        };
        ReadItem item;
        item.messageClass = text(PR_MESSAGE_CLASS);
        item.subject = text(PR_SUBJECT);
        item.body = text(PR_BODY);
        item.location = text(tags.Tag(PidLidLocation));
        item.owner = text(tags.Tag(PidLidTaskOwner));
        item.start = time(tags.Tag(PidLidAppointmentStartWhole));
        item.end = time(tags.Tag(PidLidAppointmentEndWhole));
        item.due = time(tags.Tag(PidLidTaskDueDate));
        item.taskStart = time(tags.Tag(PidLidTaskStartDate));
        item.signal = time(tags.Tag(PidLidReminderSignalTime));
        item.reminderTime = time(tags.Tag(PidLidReminderTime));
        item.duration = number(tags.Tag(PidLidAppointmentDuration));
        item.busy = number(tags.Tag(PidLidBusyStatus));
        item.reminderDelta = number(tags.Tag(PidLidReminderDelta));
        item.sensitivity = number(PR_SENSITIVITY);
        item.status = number(tags.Tag(PidLidTaskStatus));
        item.importance = number(PR_IMPORTANCE);
        item.allDay = flag(tags.Tag(PidLidAppointmentSubType));
        item.reminderSet = flag(tags.Tag(PidLidReminderSet));
        item.complete = flag(tags.Tag(PidLidTaskComplete));
        if (auto v = get(tags.Tag(PidLidPercentComplete))) item.percent = v->Value.dbl;
        MapiPtr<IMAPITable> recipients;
        if (SUCCEEDED(m->GetRecipientTable(0, recipients.Put()))) {
            RowSetHolder rows;
            HrQueryAllRows(recipients.get(), nullptr, nullptr, nullptr, 0, rows.Put());
            for (ULONG i = 0; rows && i < rows->cRows; ++i) {
                const SRow& row = rows->aRow[i];
                const LPSPropValue name = PpropFindProp(row.lpProps, row.cValues, PR_DISPLAY_NAME);
                const LPSPropValue kind = PpropFindProp(row.lpProps, row.cValues, PR_RECIPIENT_TYPE);
                item.recipients.emplace_back(name ? name->Value.lpszA : "", kind ? kind->Value.l : 0);
            }
        }
        return item;
    }

    std::optional<ScopedEnv> tmpDirEnv;
    std::optional<ScopedEnv> configHome;
    TempDir dir;
    std::string tempFolder;
    CMapiSession outlook;
    std::optional<FolderHandle> folder;
    LNNotesSession session;
    LNDatabase database;
    ExportSettings settings;
    ExportRun run;
    ExportLog log;
    NullProgressSink progress;
};

// UTC seconds of a UTC calendar time.
inline std::time_t Utc(int year, int month, int day, int hour = 0, int minute = 0) {
    return platform::FromUtcFields(year, month, day, hour, minute, 0);
}

}  // namespace qb::test
