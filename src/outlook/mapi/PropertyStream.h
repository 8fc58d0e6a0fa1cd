#pragma once
// A property of an object opened as an IStream over the object's PropertyBag:
// the compressed RTF body and other binary or 8-bit text properties that
// stores keep in memory until the object is saved.

#include "outlook/mapi/PropUtil.h"

namespace qb::mapi {

// Every write goes to the bag's value at once, so the stream's Commit is not
// needed before the object's SaveChanges. The stream holds a reference to
// owner, the object whose bag it writes. MAPI_CREATE starts empty; without
// it a missing property is MAPI_E_NOT_FOUND. A store object that cannot be
// changed passes writable false and gets MAPI_E_NO_ACCESS for MAPI_CREATE or
// MAPI_MODIFY.
HRESULT OpenPropertyStream(IUnknown* owner, PropertyBag& bag, ULONG tag, LPCIID iid, ULONG flags, bool writable,
                           LPUNKNOWN* out);

}  // namespace qb::mapi
