#pragma once
// WrapCompressedRTFStream and RTFSync over the compressed RTF body of a
// message (PR_RTF_COMPRESSED), and the RTF and plain text conversions they use.

#include <string>
#include <string_view>

#include "outlook/mapi/MapiInterfaces.h"

// Wraps the stream of PR_RTF_COMPRESSED. With MAPI_MODIFY the result takes
// uncompressed RTF: Commit (and the final Release, if writes were not
// committed) replaces the compressed stream's content with the compressed
// form ("LZFu", or "MELA" with STORE_UNCOMPRESSED_RTF) and commits it.
// Without MAPI_MODIFY the result reads the decompressed RTF; corrupt data
// gives MAPI_E_CORRUPT_DATA here.
HRESULT WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags, LPSTREAM* lpUncompressedRTFStream);

// Brings PR_BODY and the RTF body of a message into step; the message is not
// saved. What it does:
//  - RTF_SYNC_RTF_CHANGED, when the message has PR_RTF_COMPRESSED: reads and
//    decompresses it (MAPI_E_CORRUPT_DATA if that fails), sets PR_BODY to the
//    plain text of the RTF when the message has no PR_BODY, and sets
//    PR_RTF_IN_SYNC to true.
//  - RTF_SYNC_BODY_CHANGED, when the message has PR_BODY: writes an RTF
//    rendering of the text as PR_RTF_COMPRESSED and sets PR_RTF_IN_SYNC.
// *lpfMessageUpdated is TRUE when a property was set; with neither body
// present nothing changes and the result is S_OK.
HRESULT RTFSync(LPMESSAGE lpMessage, ULONG ulFlags, BOOL* lpfMessageUpdated);

namespace qb::mapi {

// The text of an RTF document: destinations such as font and colour tables,
// style sheets, document information and "\*" groups are skipped; \par and
// \line become CR LF, \tab a tab; \'hh is read as Windows-1252 and \uN as
// Unicode (skipping its fallback characters). The result is UTF-8.
std::string RtfToPlainText(std::string_view rtf);
// A minimal RTF document showing the UTF-8 text.
std::string PlainTextToRtf(std::string_view text);

}  // namespace qb::mapi
