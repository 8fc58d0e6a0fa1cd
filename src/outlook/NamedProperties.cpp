#include "outlook/NamedProperties.h"

#include <fmt/format.h>

#include <exception>
#include <string>

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiGuids.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {
namespace {

NamedPropertyTags g_tags;

struct Named {
    LONG id;
    ULONG type;
};

constexpr Named kAppointment[] = {
    {0x8215, PT_BOOLEAN}, {0x8205, PT_LONG},    {0x8213, PT_LONG},    {0x820E, PT_SYSTIME}, {0x8223, PT_BOOLEAN},
    {0x8208, PT_STRING8}, {0x8217, PT_LONG},    {0x8232, PT_STRING8}, {0x8231, PT_LONG},    {0x8218, PT_LONG},
    {0x8200, PT_BOOLEAN}, {0x820D, PT_SYSTIME}, {0x8236, PT_SYSTIME}, {0x8235, PT_SYSTIME}};
constexpr Named kCommon[] = {{0x8560, PT_SYSTIME}, {0x8506, PT_BOOLEAN}, {0x8501, PT_LONG},   {0x8503, PT_BOOLEAN},
                             {0x8502, PT_SYSTIME}, {0x8517, PT_SYSTIME}, {0x8516, PT_SYSTIME}};
constexpr Named kTask[] = {{0x8105, PT_SYSTIME}, {0x8104, PT_SYSTIME}, {0x8101, PT_LONG},   {0x8102, PT_DOUBLE},
                           {0x810F, PT_SYSTIME}, {0x811C, PT_BOOLEAN}, {0x811F, PT_STRING8}};
constexpr Named kAddress[] = {
    {0x8083, PT_STRING8},  {0x8082, PT_STRING8},  {0x8080, PT_STRING8}, {0x8084, PT_STRING8}, {0x8093, PT_STRING8},
    {0x8092, PT_STRING8},  {0x8090, PT_STRING8},  {0x8094, PT_STRING8}, {0x80A3, PT_STRING8}, {0x80A2, PT_STRING8},
    {0x80A0, PT_STRING8},  {0x80A4, PT_STRING8},  {0x802B, PT_STRING8}, {0x801A, PT_STRING8}, {0x801B, PT_STRING8},
    {0x8045, PT_STRING8},  {0x8046, PT_STRING8},  {0x8047, PT_STRING8}, {0x8048, PT_STRING8}, {0x8049, PT_STRING8},
    {0x8005, PT_STRING8},  {0x8006, PT_LONG},     {0x8055, PT_MV_BINARY}, {0x8054, PT_MV_BINARY}, {0x8029, PT_LONG},
    {0x8028, PT_MV_LONG},  {0x8085, PT_BINARY},   {0x8095, PT_BINARY},  {0x80A5, PT_BINARY},  {0x804F, PT_STRING8},
    {0x8050, PT_STRING8},  {0x8051, PT_STRING8},  {0x8052, PT_STRING8}};

// One GetIDsFromNames call; the tags with their types, or nullopt on failure.
template <std::size_t N>
std::optional<std::vector<ULONG>> Resolve(IMAPIFolder& top, const GUID& set, const Named (&names)[N], HRESULT& hr) {
    GUID guid = set;
    std::vector<MAPINAMEID> ids(N);
    std::vector<LPMAPINAMEID> pointers(N);
    for (std::size_t i = 0; i < N; ++i) {
        ids[i].lpguid = &guid;
        ids[i].ulKind = MNID_ID;
        ids[i].Kind.lID = names[i].id;
        pointers[i] = &ids[i];
    }
    mapi::MapiBuffer<SPropTagArray> tags;
    hr = top.GetIDsFromNames(N, pointers.data(), MAPI_CREATE, tags.Put());
    if (FAILED(hr) || !tags) return std::nullopt;
    std::vector<ULONG> result;
    for (ULONG i = 0; i < tags->cValues && i < N; ++i)
        result.push_back(PROP_TAG(names[i].type, PROP_ID(tags->aulPropTag[i])));
    return result;
}

// One property named by a string; its tag with `type`, PR_NULL when the
// store gave none, nullopt when the call failed.
std::optional<ULONG> ResolveString(IMAPIFolder& top, const GUID& set, std::u16string_view name, ULONG type,
                                   HRESULT& hr) {
    GUID guid = set;
    std::vector<WCHAR> wide(name.begin(), name.end());
    wide.push_back(0);
    MAPINAMEID id{&guid, MNID_STRING, {}};
    id.Kind.lpwstrName = wide.data();
    LPMAPINAMEID pointer = &id;
    mapi::MapiBuffer<SPropTagArray> tag;
    hr = top.GetIDsFromNames(1, &pointer, MAPI_CREATE, tag.Put());
    if (FAILED(hr) || !tag) return std::nullopt;
    return tag->cValues == 1 ? PROP_TAG(type, PROP_ID(tag->aulPropTag[0])) : PR_NULL;
}

template <std::size_t N>
ULONG Lookup(const Named (&names)[N], const std::vector<ULONG>& tags, LONG id) {
    for (std::size_t i = 0; i < N && i < tags.size(); ++i)
        if (names[i].id == id) return tags[i];
    return PR_NULL;
}

}  // namespace

ULONG NamedPropertyTags::Tag(NamedId name) const {
    switch (name.set) {
    case PropertySet::Appointment: return Lookup(kAppointment, appointment, name.id);
    case PropertySet::Common: return Lookup(kCommon, common, name.id);
    case PropertySet::Task: return Lookup(kTask, task, name.id);
    case PropertySet::Address: return Lookup(kAddress, address, name.id);
    }
    return PR_NULL;
}

const NamedPropertyTags& NamedTags() { return g_tags; }


bool InitNamedProps(CMapiSession& session) {
    int step = 500;
    try {
        auto top = session.GetSpecialFolder(kTopOfStoreFolder);
        if (!top) {
            session.lastError = fmt::format("Init Props: {}", step);
            return false;
        }
        // Why the store refused the names (a full disk, a damaged store).
        HRESULT hr = S_OK;
        auto refused = [&] {
            session.lastError = fmt::format(
                "Init Props: {}: {}", step,
                mapi::LastErrorText(*top->folder, hr, "the store refused the named properties"));
            return false;
        };
        NamedPropertyTags tags;
        // "Keywords" is a string name.
        const auto keywords = ResolveString(*top->folder, PS_PUBLIC_STRINGS, u"Keywords", PT_MV_STRING8, hr);
        if (!keywords) {
            step = 600;
            return refused();
        }
        step = 700;
        tags.keywords = *keywords;
        const auto universalId = ResolveString(*top->folder, PSETID_QuillboxSource, kUniversalIdName, PT_STRING8, hr);
        if (!universalId) return refused();
        tags.universalId = *universalId;
        step = 800;
        step = 1000;
        auto appointment = Resolve(*top->folder, PSETID_Appointment, kAppointment, hr);
        if (!appointment) return refused();
        tags.appointment = *appointment;
        auto common = Resolve(*top->folder, PSETID_Common, kCommon, hr);
        if (!common) return refused();
        if (common->size() == std::size(kCommon)) tags.common = *common;
        auto task = Resolve(*top->folder, PSETID_Task, kTask, hr);
        if (!task) return refused();
        if (task->size() == std::size(kTask)) tags.task = *task;
        auto address = Resolve(*top->folder, PSETID_Address, kAddress, hr);
        if (!address) return refused();
        if (address->size() == std::size(kAddress)) tags.address = *address;
        g_tags = std::move(tags);
        return true;
    } catch (const std::exception&) {
        session.lastError = fmt::format("Init Props: {}", step);
        return false;
    }
}

std::set<std::string> RecentUniversalIds(const FolderHandle& folder, const std::string& stopAt, std::size_t limit) {
    std::set<std::string> ids;
    const ULONG tag = g_tags.universalId;
    if (!folder.folder || tag == PR_NULL) return ids;
    mapi::MapiPtr<IMAPITable> table;
    mapi::RowSetHolder rows;
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    if (FAILED(folder.folder->GetContentsTable(0, table.Put())) ||
        FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                              rows.Put())) ||
        !rows)
        return ids;
    // The contents table lists the items in the order they were saved.
    for (ULONG i = rows->cRows; i-- > 0 && ids.size() < limit;) {
        const SRow& row = rows->aRow[i];
        const LPSPropValue entryId = PpropFindProp(row.lpProps, row.cValues, PR_ENTRYID);
        if (!entryId) break;
        ULONG type = 0;
        mapi::MapiPtr<IUnknown> object;
        if (FAILED(folder.folder->OpenEntry(entryId->Value.bin.cb, reinterpret_cast<LPENTRYID>(entryId->Value.bin.lpb),
                                            nullptr, 0, &type, object.Put())) ||
            type != MAPI_MESSAGE)
            break;
        mapi::MapiBuffer<SPropValue> value;
        auto* message = static_cast<IMessage*>(object.get());
        if (FAILED(HrGetOneProp(message, tag, value.Put())) || !value || value->ulPropTag != tag ||
            !value->Value.lpszA)
            break;
        const std::string id = value->Value.lpszA;
        // The last recorded document's items: its own id, or "id#n" for its
        // further instances.
        if (!stopAt.empty() && (id == stopAt || id.rfind(stopAt + "#", 0) == 0)) break;
        ids.insert(id);
    }
    return ids;
}

}  // namespace qb
