#include "outlook/RtfBodyWriter.h"

#include <fmt/format.h>

#include "outlook/mapi/CompressedRtf.h"
#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiGuids.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/Streams.h"

namespace qb {

using mapi::MapiBuffer;
using mapi::MapiPtr;

HRESULT WriteRtfBody(IMessage* message, const std::string& rtfPath, std::string& errorText) {
    if (rtfPath.empty()) {
        errorText = "no input file name specified";
        return S_OK;
    }
    MapiBuffer<SPropValue> mask;
    HRESULT hr = HrGetOneProp(message, PR_STORE_SUPPORT_MASK, mask.Put());
    if (FAILED(hr)) {
        errorText = "Unable to get property for PR_STORE_SUPPORT_MASK";
        return hr;
    }
    if (!(mask->Value.l & STORE_RTF_OK)) {
        MapiBuffer<SPropValue> inSync;
        hr = HrGetOneProp(message, PR_RTF_IN_SYNC, inSync.Put());
        if (FAILED(hr) && hr != MAPI_E_NOT_FOUND) {
            errorText = "Unable to get property PR_RTF_IN_SYNC";
            return hr;
        }
        if (!(SUCCEEDED(hr) && inSync->ulPropTag == PR_RTF_IN_SYNC && inSync->Value.b)) {
            BOOL updated = FALSE;
            hr = RTFSync(message, RTF_SYNC_BODY_CHANGED, &updated);
            if (FAILED(hr)) {
                errorText = "Unable to sync RTF";
                return hr;
            }
            if (updated) {
                hr = message->SaveChanges(KEEP_OPEN_READWRITE);
                if (FAILED(hr)) errorText = "Unable to save changes to message";
                return FAILED(hr) ? hr : S_OK;
            }
        }
    }
    MapiPtr<IStream> compressed;
    hr = message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, MAPI_CREATE | MAPI_MODIFY, compressed.PutUnknown());
    if (FAILED(hr)) {
        errorText = "Unable to open property PR_RTF_COMPRESSED";
        return hr;
    }
    MapiPtr<IStream> uncompressed;
    hr = WrapCompressedRTFStream(compressed.get(), MAPI_MODIFY, uncompressed.Put());
    if (FAILED(hr)) {
        errorText = "Unable to wrap compressed RTF stream";
        return hr;
    }
    MapiPtr<IStream> file;
    hr = OpenStreamOnFile(MAPIAllocateBuffer, MAPIFreeBuffer, 0, rtfPath.c_str(), nullptr, file.Put());
    if (FAILED(hr)) {
        errorText = fmt::format("Unable open file '{}' for read", rtfPath);
        return hr;
    }
    // The file's size, known from its opening, spares a read that would
    // only find its end; without it the copy runs to the end.
    STATSTG status{};
    ULARGE_INTEGER size{};
    size.QuadPart = SUCCEEDED(file->Stat(&status, STATFLAG_NONAME)) ? status.cbSize.QuadPart : ~0ULL;
    hr = file->CopyTo(uncompressed.get(), size, nullptr, nullptr);
    if (FAILED(hr)) {
        errorText = "Unable to copy RTF file to stream";
        return hr;
    }
    hr = uncompressed->Commit(1);
    if (FAILED(hr)) errorText = "Unable to commit stream";
    return hr;
}

}  // namespace qb
