// quillbox-cli profiles: lists the MAPI profiles with their message services
// and stores, and adds or removes profiles and personal folders services
// through the same MAPI calls that the batch export and the main window make.

#include <cstdio>
#include <ostream>
#include <string>

#include "CliCommands.h"
#include "outlook/PersonalFolders.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/ProfileFile.h"
#include "outlook/mapi/StoreProvider.h"

namespace qb::cli {
namespace {

using namespace qb::mapi;

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// MAPIInitialize for the lifetime of one command.
class MapiScope {
public:
    MapiScope() : hr_(MAPIInitialize(nullptr)) {}
    ~MapiScope() {
        if (SUCCEEDED(hr_)) MAPIUninitialize();
    }
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

int Fail(CliContext& context, const std::string& what, HRESULT hr) {
    context.err << "quillbox-cli profiles: " << what << " (" << HexCode(hr) << ")\n";
    return kExitFailure;
}

std::string Column(const SRow& row, ULONG tag) {
    const LPSPropValue v = PpropFindProp(row.lpProps, row.cValues, tag);
    return v && v->Value.lpszA ? v->Value.lpszA : "";
}

void ListServices(IProfAdmin& admin, const std::string& profile, CliContext& context) {
    MapiPtr<IMsgServiceAdmin> services;
    MapiPtr<IMAPITable> table;
    RowSetHolder rows;
    if (FAILED(admin.AdminServices(const_cast<char*>(profile.c_str()), nullptr, 0, 0, services.Put())) ||
        FAILED(services->GetMsgServiceTable(0, table.Put())) ||
        FAILED(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put())))
        return;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        const LPSPropValue uid = PpropFindProp(row.lpProps, row.cValues, PR_SERVICE_UID);
        MAPIUID id{};
        if (uid && uid->Value.bin.cb == 16) std::copy(uid->Value.bin.lpb, uid->Value.bin.lpb + 16, id.ab);
        context.out << "  service " << Column(row, PR_SERVICE_NAME) << " \"" << Column(row, PR_DISPLAY_NAME)
                    << "\" uid " << UidToHex(id) << "\n";
    }
}

void ListStores(const std::string& profile, CliContext& context) {
    MapiPtr<IMAPISession> session;
    MapiPtr<IMAPITable> table;
    RowSetHolder rows;
    SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DEFAULT_STORE, PR_DISPLAY_NAME}};
    if (FAILED(MAPILogonEx(0, const_cast<char*>(profile.c_str()), nullptr,
                           MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE | MAPI_EXTENDED, session.Put())) ||
        FAILED(session->GetMsgStoresTable(0, table.Put())) ||
        FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                              rows.Put())))
        return;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        const SBinary& id = row.lpProps[0].Value.bin;
        std::string hex;
        for (ULONG k = 0; k < id.cb; ++k) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02X", id.lpb[k]);
            hex += digits;
        }
        const auto path = ParseStoreEntryId(id.lpb, id.cb);
        context.out << "  store \"" << Column(row, PR_DISPLAY_NAME) << "\"" << (row.lpProps[1].Value.b ? " (default)" : "")
                    << " " << (path ? *path : std::string()) << "\n    entry id " << hex << "\n";
    }
    session->Logoff(0, 0, 0);
}

int List(CliContext& context) {
    MapiScope mapi;
    MapiPtr<IProfAdmin> admin;
    HRESULT hr = MAPIAdminProfiles(0, admin.Put());
    if (FAILED(hr)) return Fail(context, "cannot administer profiles", hr);
    MapiPtr<IMAPITable> table;
    RowSetHolder rows;
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME, PR_DEFAULT_PROFILE}};
    if (FAILED(hr = admin->GetProfileTable(0, table.Put())) ||
        FAILED(hr = HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                   rows.Put())))
        return Fail(context, "cannot read the profiles", hr);
    if (rows->cRows == 0) context.out << "no profiles in " << ProfileFile::DefaultPath() << "\n";
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const std::string name = rows->aRow[i].lpProps[0].Value.lpszA;
        context.out << name << (rows->aRow[i].lpProps[1].Value.b ? " (default)" : "") << "\n";
        ListServices(*admin, name, context);
        ListStores(name, context);
    }
    return kExitOk;
}

int AddOrRemove(const std::string& name, bool add, CliContext& context) {
    MapiScope mapi;
    MapiPtr<IProfAdmin> admin;
    HRESULT hr = MAPIAdminProfiles(0, admin.Put());
    if (FAILED(hr)) return Fail(context, "cannot administer profiles", hr);
    char* profile = const_cast<char*>(name.c_str());
    hr = add ? admin->CreateProfile(profile, nullptr, 0, 0) : admin->DeleteProfile(profile, 0);
    if (FAILED(hr)) return Fail(context, (add ? "cannot create profile " : "cannot remove profile ") + name, hr);
    context.out << (add ? "created profile " : "removed profile ") << name << "\n";
    return kExitOk;
}

int AddPst(const std::string& profile, const std::string& path, bool ansi, const std::string& display,
           CliContext& context) {
    MapiScope mapi;
    if (!ProfileExists(profile)) return Fail(context, "no profile " + profile, MAPI_E_NOT_FOUND);
    std::string error;
    const HRESULT hr = AddPersonalFoldersService(profile, path, ansi, display, error);
    if (FAILED(hr)) return Fail(context, error, hr);
    context.out << "added " << (ansi ? "MSPST MS" : "MSUPST MS") << " \"" << display << "\" " << path << " to "
                << profile << "\n";
    return kExitOk;
}

}  // namespace

int RunProfiles(std::span<const std::string> args, CliContext& context) {
    const CliCommand& command = CommandNamed("profiles");
    ArgReader reader(args);
    std::string action;
    if (!reader.Next(action)) return List(context);
    std::string name;
    if (action == "add" || action == "remove") {
        if (!reader.Next(name)) return UsageError(context, command, action + " needs a profile name");
        std::string extra;
        if (reader.Next(extra)) return UsageError(context, command, "unexpected argument " + extra);
        return AddOrRemove(name, action == "add", context);
    }
    if (action == "add-pst") {
        std::string path, arg, display = "Personal Folders";
        bool ansi = false;
        if (!reader.Next(name) || !reader.Next(path))
            return UsageError(context, command, "add-pst needs a profile name and a file path");
        while (reader.Next(arg)) {
            if (arg == "--ansi") ansi = true;
            else if (arg == "--display" && reader.Value(display)) continue;
            else return UsageError(context, command, "unexpected argument " + arg);
        }
        return AddPst(name, path, ansi, display, context);
    }
    return UsageError(context, command, "unknown action " + action);
}

}  // namespace qb::cli
