#include "outlook/NamedProperties.h"

#include <fmt/format.h>

#include <exception>
#include <string>

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiGuids.h"

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
std::optional<std::vector<ULONG>> Resolve(IMAPIFolder& top, const GUID& set, const Named (&names)[N]) {
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
    if (FAILED(top.GetIDsFromNames(N, pointers.data(), MAPI_CREATE, tags.Put())) || !tags) return std::nullopt;
    std::vector<ULONG> result;
    for (ULONG i = 0; i < tags->cValues && i < N; ++i)
        result.push_back(PROP_TAG(names[i].type, PROP_ID(tags->aulPropTag[i])));
    return result;
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
        NamedPropertyTags tags;
        // "Keywords" is a string name.
        GUID publicStrings = PS_PUBLIC_STRINGS;
        std::u16string keywords = u"Keywords";
        std::vector<WCHAR> wide(keywords.begin(), keywords.end());
        wide.push_back(0);
        MAPINAMEID keywordName{&publicStrings, MNID_STRING, {}};
        keywordName.Kind.lpwstrName = wide.data();
        LPMAPINAMEID keywordPointer = &keywordName;
        mapi::MapiBuffer<SPropTagArray> keywordTag;
        if (FAILED(top->folder->GetIDsFromNames(1, &keywordPointer, MAPI_CREATE, keywordTag.Put())) || !keywordTag) {
            step = 600;
            return false;
        }
        step = 700;
        if (keywordTag->cValues == 1) tags.keywords = PROP_TAG(PT_MV_STRING8, PROP_ID(keywordTag->aulPropTag[0]));
        step = 800;
        step = 1000;
        auto appointment = Resolve(*top->folder, PSETID_Appointment, kAppointment);
        if (!appointment) return false;
        tags.appointment = *appointment;
        auto common = Resolve(*top->folder, PSETID_Common, kCommon);
        if (!common) return false;
        if (common->size() == std::size(kCommon)) tags.common = *common;
        auto task = Resolve(*top->folder, PSETID_Task, kTask);
        if (!task) return false;
        if (task->size() == std::size(kTask)) tags.task = *task;
        auto address = Resolve(*top->folder, PSETID_Address, kAddress);
        if (!address) return false;
        if (address->size() == std::size(kAddress)) tags.address = *address;
        g_tags = std::move(tags);
        return true;
    } catch (const std::exception&) {
        session.lastError = fmt::format("Init Props: {}", step);
        return false;
    }
}

}  // namespace qb
