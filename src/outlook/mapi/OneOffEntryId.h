#pragma once
// One-off entry identifiers: a recipient that is not in any address book,
// carried whole inside the identifier (flags, the one-off provider
// identifier, version 0, a 16-bit flag word, then display name, address type
// and address, each zero-terminated, in UTF-16LE when MAPI_ONE_OFF_UNICODE
// is set and in Windows-1252 otherwise). AddressBook is the IAddrBook of a
// session; it creates them.

#include <optional>
#include <string>
#include <vector>

#include "outlook/mapi/MapiInterfaces.h"

namespace qb::mapi {

struct OneOffAddress {
    std::string displayName;  // UTF-8
    std::string addressType;
    std::string address;
    bool unicode = false;
    bool noRichInfo = false;
};

std::vector<BYTE> BuildOneOffEntryId(const OneOffAddress& address);
// nullopt when the bytes are not a well-formed one-off entry identifier.
std::optional<OneOffAddress> ParseOneOffEntryId(const BYTE* data, std::size_t size);

class AddressBook final : public ComObject<IAddrBook> {
public:
    static MapiPtr<IAddrBook> Create();

    HRESULT CreateOneOff(LPTSTR lpszName, LPTSTR lpszAdrType, LPTSTR lpszAddress, ULONG ulFlags,
                         ULONG* lpcbEntryID, LPENTRYID* lppEntryID) override;

    HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
    HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                     LPSPropValue* lppPropArray) override;
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* lppUnk) override;
    HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray* lppProblems) override;
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray* lppPropTags) override;

private:
    AddressBook() = default;
};

}  // namespace qb::mapi
