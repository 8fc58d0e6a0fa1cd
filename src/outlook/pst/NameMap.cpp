#include "outlook/pst/NameMap.h"

#include <cstdio>
#include <tuple>

#include "outlook/pst/Checksum.h"

namespace qb::pst {
namespace {
constexpr std::uint16_t kIdBucketCount = 0x0001;
constexpr std::uint16_t kIdGuidStream = 0x0002;
constexpr std::uint16_t kIdEntryStream = 0x0003;
constexpr std::uint16_t kIdStringStream = 0x0004;
constexpr std::uint16_t kIdFirstBucket = 0x1000;
}  // namespace

const Guid kPsMapi = ParseGuid("{00020328-0000-0000-C000-000000000046}");
const Guid kPsPublicStrings = ParseGuid("{00020329-0000-0000-C000-000000000046}");

Guid ParseGuid(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    if (hex.size() != 32) throw PstError("bad GUID '" + text + "'");
    auto byte = [&](std::size_t i) { return std::uint8_t(std::stoul(hex.substr(2 * i, 2), nullptr, 16)); };
    Guid g{};
    // Data1..Data3 are little-endian on disk.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i) g[i] = byte(std::size_t(order[i]));
    return g;
}

std::string FormatGuid(const Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                  g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return buf;
}

bool NamedProperty::operator<(const NamedProperty& o) const {
    return std::tie(guid, isString, lid, name) < std::tie(o.guid, o.isString, o.lid, o.name);
}

void NameMap::Load(const Properties& pc) {
    byName_.clear();
    byId_.clear();
    if (const PropValue* v = FindProp(pc, MakeTag(kIdBucketCount, kPtLong))) bucketCount_ = std::uint32_t(v->AsInt());
    if (bucketCount_ == 0) bucketCount_ = 251;
    const PropValue* guids = FindProp(pc, MakeTag(kIdGuidStream, kPtBinary));
    const PropValue* entries = FindProp(pc, MakeTag(kIdEntryStream, kPtBinary));
    const PropValue* strings = FindProp(pc, MakeTag(kIdStringStream, kPtBinary));
    if (!entries) return;
    for (std::size_t off = 0; off + 8 <= entries->data.size(); off += 8) {
        const std::uint8_t* e = &entries->data[off];
        std::uint32_t key = Get32(e);
        std::uint16_t wGuid = Get16(e + 4);
        std::uint16_t index = Get16(e + 6);
        NamedProperty name;
        std::uint16_t guidIndex = wGuid >> 1;
        if (guidIndex == 1) name.guid = kPsMapi;
        else if (guidIndex == 2) name.guid = kPsPublicStrings;
        else if (guidIndex >= 3 && guids && (guidIndex - 3u) * 16 + 16 <= guids->data.size())
            std::copy_n(&guids->data[(guidIndex - 3u) * 16], 16, name.guid.begin());
        else continue;
        name.isString = (wGuid & 1) != 0;
        if (name.isString) {
            if (!strings || key + 4 > strings->data.size()) continue;
            std::uint32_t len = Get32(&strings->data[key]);
            if (key + 4 + len > strings->data.size()) continue;
            name.name = Utf16ToUtf8(&strings->data[key + 4], len);
        } else {
            name.lid = key;
        }
        std::uint16_t id = std::uint16_t(0x8000 + index);
        byName_[name] = id;
        byId_[id] = name;
    }
    dirty_ = false;
}

std::uint16_t NameMap::IdFor(const NamedProperty& name, bool create) {
    auto it = byName_.find(name);
    if (it != byName_.end()) return it->second;
    if (!create) return 0;
    std::uint16_t id = byId_.empty() ? 0x8000 : std::uint16_t(byId_.rbegin()->first + 1);
    if (id < 0x8000 || id == 0xFFFF) throw PstError("the name-to-id map is full");
    byName_[name] = id;
    byId_[id] = name;
    dirty_ = true;
    return id;
}

std::optional<NamedProperty> NameMap::NameFor(std::uint16_t id) const {
    auto it = byId_.find(id);
    if (it == byId_.end()) return std::nullopt;
    return it->second;
}

Properties NameMap::Build() const {
    Bytes guids, entries, strings;
    std::map<Guid, std::uint16_t> guidIndex;
    std::map<std::uint32_t, Bytes> buckets;
    for (const auto& [id, name] : byId_) {
        std::uint16_t gi;
        if (name.guid == kPsMapi) gi = 1;
        else if (name.guid == kPsPublicStrings) gi = 2;
        else {
            auto found = guidIndex.find(name.guid);
            if (found == guidIndex.end()) {
                gi = std::uint16_t(3 + guids.size() / 16);
                guidIndex[name.guid] = gi;
                guids.insert(guids.end(), name.guid.begin(), name.guid.end());
            } else {
                gi = found->second;
            }
        }
        std::uint16_t wGuid = std::uint16_t((gi << 1) | (name.isString ? 1 : 0));
        std::uint32_t key = name.lid, hash = name.lid;
        if (name.isString) {
            Bytes utf16 = Utf8ToUtf16(name.name);
            key = std::uint32_t(strings.size());
            Append32(strings, std::uint32_t(utf16.size()));
            strings.insert(strings.end(), utf16.begin(), utf16.end());
            while (strings.size() % 4) strings.push_back(0);
            hash = Crc32(utf16.data(), utf16.size());
        }
        Append32(entries, key);
        Append16(entries, wGuid);
        Append16(entries, std::uint16_t(id - 0x8000));
        Bytes& bucket = buckets[(hash ^ wGuid) % bucketCount_];
        Append32(bucket, hash);
        Append16(bucket, wGuid);
        Append16(bucket, std::uint16_t(id - 0x8000));
    }
    Properties pc;
    pc[kIdBucketCount] = PropValue::Long(std::int32_t(bucketCount_));
    pc[kIdGuidStream] = PropValue::Binary(guids);
    pc[kIdEntryStream] = PropValue::Binary(entries);
    pc[kIdStringStream] = PropValue::Binary(strings);
    for (auto& [index, bytes] : buckets) pc[std::uint16_t(kIdFirstBucket + index)] = PropValue::Binary(bytes);
    return pc;
}

}  // namespace qb::pst
