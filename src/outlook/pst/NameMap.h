#pragma once
// The name-to-id map: named properties (property set GUID plus a numeric id
// or a name) and the property ids 0x8000+ they are given in this store.

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "outlook/pst/PropertyContext.h"

namespace qb::pst {

using Guid = std::array<std::uint8_t, 16>;

// {00020328-0000-0000-C000-000000000046} and {00020329-...}.
extern const Guid kPsMapi;
extern const Guid kPsPublicStrings;
// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (braces optional).
Guid ParseGuid(const std::string& text);
std::string FormatGuid(const Guid& guid);

struct NamedProperty {
    Guid guid{};
    bool isString = false;
    std::uint32_t lid = 0;  // numeric id
    std::string name;       // UTF-8, when isString
    bool operator<(const NamedProperty& o) const;
    bool operator==(const NamedProperty& o) const { return !(*this < o) && !(o < *this); }
};

class NameMap {
public:
    void Load(const Properties& pc);
    // The store's id for a name (0x8000 + index), 0 when absent and not created.
    std::uint16_t IdFor(const NamedProperty& name, bool create);
    std::optional<NamedProperty> NameFor(std::uint16_t id) const;
    std::size_t size() const { return byId_.size(); }
    bool dirty() const { return dirty_; }
    // The property context of the map node (streams and hash buckets).
    Properties Build() const;
    void MarkClean() { dirty_ = false; }

private:
    std::map<NamedProperty, std::uint16_t> byName_;
    std::map<std::uint16_t, NamedProperty> byId_;
    std::uint32_t bucketCount_ = 251;
    bool dirty_ = false;
};

}  // namespace qb::pst
