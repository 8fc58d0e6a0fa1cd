#pragma once
// Copies an RTF file into a message's compressed RTF body.

#include <string>

#include "outlook/mapi/MapiInterfaces.h"

namespace qb {

// 0 on success; otherwise the failing step's result with its text in
// `errorText`. The message is not saved here.
HRESULT WriteRtfBody(IMessage* message, const std::string& rtfPath, std::string& errorText);

}  // namespace qb
