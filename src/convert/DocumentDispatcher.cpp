#include "convert/DocumentDispatcher.h"

#include <fmt/format.h>

#include "notes/NotesErrorText.h"
#include "outlook/NamedProperties.h"
#include "shell/log/ExportLog.h"

namespace qb {

void FormDispatcher::Dispatch(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) {
    std::string form;
    {
        ScopedNotesThrowMode returnCodes(false);
        if (!document.IsOpen() && document.Open() != LNNOERROR) return;
        LNText formItem;
        if (document.HasItem("Form") && document.GetItem("Form", &formItem) == LNNOERROR && formItem.GetCount() > 0)
            form = formItem[0];
    }
    if (LNStringCompare(form, "Appointment", 0) == 0) {
        calendar_.Convert(folder, session, document);
    } else if (LNStringCompare(form, "Task", 0) == 0) {
        task_.Convert(folder, session, document);
    } else {
        mail_.Convert(folder, session, document);
    }
}

void FormDispatcher::EndRun() {
    mail_.EndRun();
    calendar_.EndRun();
    task_.EndRun();
}

bool InitNamedPropsSetup::Setup(CMapiSession& session) { return InitNamedProps(session); }

bool UnavailableConverter::Convert(const FolderHandle&, LNNotesSession&, LNDocument&) {
    log_.Write(fmt::format("....~#>Warning {} conversion is not available in this version; document not exported\n",
                           kind_));
    return false;
}

void UnavailableComponents::Report(const char* component) {
    log_.Write(fmt::format("...~#>Warning The {} component is not available in this version; nothing exported\n",
                           component));
}

void UnavailableComponents::ExportCalendarEntries(LNNotesSession&, LNDatabase&, const std::string&) {
    Report("Calendar");
}
void UnavailableComponents::ExportTaskEntries(LNNotesSession&, LNDatabase&, const std::string&) { Report("Tasks"); }
void UnavailableComponents::ExportContactEntries(LNNotesSession&, LNDatabase&, const std::string&) {
    Report("Contacts");
}
void UnavailableComponents::ExportGroupEntries(LNNotesSession&, LNDatabase&, const std::string&) { Report("Groups"); }

}  // namespace qb
