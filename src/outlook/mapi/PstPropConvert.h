#pragma once
// Property values between MAPI's SPropValue and the PST engine's PropValue.
// Strings are UTF-8 on both sides; the engine turns them into the store's
// width (PT_UNICODE, or Windows-1252 PT_STRING8 in an ANSI file).

#include <optional>
#include <utility>

#include "outlook/mapi/PropUtil.h"
#include "outlook/pst/PropertyContext.h"

namespace qb::mapi {

// The engine's tag and value of a MAPI value; none for PR_NULL, errors,
// objects and types a store does not keep.
std::optional<std::pair<std::uint32_t, pst::PropValue>> ToEngineValue(const SPropValue& value);
// Every value of a bag, as the engine takes them.
pst::Properties ToEngineProperties(const PropertyBag& bag);
// Engine values as MAPI values; strings come back as PT_STRING8 (UTF-8).
PropertyBag ToPropertyBag(const pst::Properties& props);

}  // namespace qb::mapi
