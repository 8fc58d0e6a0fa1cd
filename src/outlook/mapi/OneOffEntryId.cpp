#include "outlook/mapi/OneOffEntryId.h"

#include <cstring>
#include <cwchar>
#include <cstdio>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/PropUtil.h"

namespace qb::mapi {
namespace {

constexpr std::size_t kFixedSize = 24;  // flags, provider, version, flag word

void AppendString(std::vector<BYTE>& out, const std::string& utf8, bool unicode) {
    if (unicode) {
        text::AppendUtf16Le(out, utf8);
        out.push_back(0);
        out.push_back(0);
    } else {
        const std::string narrow = Utf8ToCp1252(utf8);
        out.insert(out.end(), narrow.begin(), narrow.end());
        out.push_back(0);
    }
}

// Reads one zero-terminated string at pos; false when no terminator follows.
bool ReadString(const BYTE* data, std::size_t size, std::size_t& pos, bool unicode, std::string& out) {
    if (unicode) {
        std::u16string text;
        while (pos + 1 < size) {
            const char16_t c = static_cast<char16_t>(data[pos] | (data[pos + 1] << 8));
            pos += 2;
            if (c == 0) {
                out = Utf16ToUtf8(text);
                return true;
            }
            text.push_back(c);
        }
        return false;
    }
    const std::size_t start = pos;
    while (pos < size && data[pos] != 0) ++pos;
    if (pos >= size) return false;
    out = Cp1252ToUtf8(std::string(reinterpret_cast<const char*>(data + start), pos - start));
    ++pos;
    return true;
}

std::string ArgumentText(LPTSTR text, bool wide) {
    if (!text) return {};
    if (wide) return WideToUtf8(reinterpret_cast<const wchar_t*>(text));
    return text;
}

}  // namespace

std::vector<BYTE> BuildOneOffEntryId(const OneOffAddress& address) {
    // Zero flags, the provider, version 0.
    std::vector<BYTE> out(22, 0);
    const std::size_t unitSize = address.unicode ? 2 : 1;
    out.reserve(kFixedSize + unitSize * (address.displayName.size() + address.addressType.size() +
                                         address.address.size() + 3));
    std::memcpy(out.data() + 4, MAPI_ONE_OFF_UID.ab, 16);
    const unsigned flags =
        (address.unicode ? MAPI_ONE_OFF_UNICODE : 0u) | (address.noRichInfo ? MAPI_ONE_OFF_NO_RICH_INFO : 0u);
    out.push_back(static_cast<BYTE>(flags & 0xFF));
    out.push_back(static_cast<BYTE>(flags >> 8));
    AppendString(out, address.displayName, address.unicode);
    AppendString(out, address.addressType, address.unicode);
    AppendString(out, address.address, address.unicode);
    return out;
}

std::optional<OneOffAddress> ParseOneOffEntryId(const BYTE* data, std::size_t size) {
    if (!data || size < kFixedSize) return std::nullopt;
    if (data[0] || data[1] || data[2] || data[3]) return std::nullopt;
    if (std::memcmp(data + 4, MAPI_ONE_OFF_UID.ab, 16) != 0) return std::nullopt;
    if (data[20] || data[21]) return std::nullopt;
    const unsigned flags = data[22] | (data[23] << 8);
    OneOffAddress result;
    result.unicode = (flags & MAPI_ONE_OFF_UNICODE) != 0;
    result.noRichInfo = (flags & MAPI_ONE_OFF_NO_RICH_INFO) != 0;
    std::size_t pos = kFixedSize;
    if (!ReadString(data, size, pos, result.unicode, result.displayName) ||
        !ReadString(data, size, pos, result.unicode, result.addressType) ||
        !ReadString(data, size, pos, result.unicode, result.address))
        return std::nullopt;
    return result;
}

MapiPtr<IAddrBook> AddressBook::Create() { return MapiPtr<IAddrBook>(new AddressBook()); }

HRESULT AddressBook::CreateOneOff(LPTSTR lpszName, LPTSTR lpszAdrType, LPTSTR lpszAddress, ULONG ulFlags,
                                  ULONG* lpcbEntryID, LPENTRYID* lppEntryID) {
    if (!lpcbEntryID || !lppEntryID) return MAPI_E_INVALID_PARAMETER;
    *lpcbEntryID = 0;
    *lppEntryID = nullptr;
    if (!lpszAdrType || !lpszAddress) return MAPI_E_INVALID_PARAMETER;
    if (ulFlags & ~(MAPI_UNICODE | MAPI_SEND_NO_RICH_INFO)) return MAPI_E_UNKNOWN_FLAGS;
    const bool wide = (ulFlags & MAPI_UNICODE) != 0;
    OneOffAddress address{ArgumentText(lpszName, wide), ArgumentText(lpszAdrType, wide),
                          ArgumentText(lpszAddress, wide), wide, (ulFlags & MAPI_SEND_NO_RICH_INFO) != 0};
    const std::vector<BYTE> bytes = BuildOneOffEntryId(address);
    LPVOID block = nullptr;
    const SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(bytes.size()), &block);
    if (FAILED(sc)) return sc;
    std::memcpy(block, bytes.data(), bytes.size());
    *lpcbEntryID = static_cast<ULONG>(bytes.size());
    *lppEntryID = static_cast<LPENTRYID>(block);
    return S_OK;
}

HRESULT AddressBook::GetLastError(HRESULT hResult, ULONG, LPMAPIERROR* lppMAPIError) {
    char text[64];
    std::snprintf(text, sizeof text, "Address book operation failed (0x%08X)", static_cast<unsigned>(hResult));
    return MakeMapiError(text, "Address book", static_cast<ULONG>(hResult), lppMAPIError);
}

HRESULT AddressBook::GetProps(LPSPropTagArray lpPropTagArray, ULONG, ULONG* lpcValues, LPSPropValue* lppPropArray) {
    PropertyBag props;
    props.SetLong(PR_OBJECT_TYPE, MAPI_ADDRBOOK);
    return props.GetProps(lpPropTagArray, lpcValues, lppPropArray);
}

HRESULT AddressBook::OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* lppUnk) {
    if (lppUnk) *lppUnk = nullptr;
    return MAPI_E_NO_SUPPORT;
}

HRESULT AddressBook::SetProps(ULONG, LPSPropValue, LPSPropProblemArray* lppProblems) {
    if (lppProblems) *lppProblems = nullptr;
    return MAPI_E_NO_SUPPORT;
}

HRESULT AddressBook::GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray* lppPropTags) {
    if (lppPropTags) *lppPropTags = nullptr;
    return MAPI_E_NO_SUPPORT;
}

}  // namespace qb::mapi
