#pragma once
// Interface identifiers and property set identifiers of the published MAPI
// headers.

#include "outlook/mapi/MapiTypes.h"

#define QB_MAPI_GUID(name, d1) \
    inline constexpr GUID name = {(d1), 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}

QB_MAPI_GUID(IID_IUnknown, 0x00000000);
QB_MAPI_GUID(IID_IStream, 0x0000000C);
QB_MAPI_GUID(IID_IMAPISession, 0x00020300);
QB_MAPI_GUID(IID_IMAPITable, 0x00020301);
QB_MAPI_GUID(IID_IMAPIProp, 0x00020303);
QB_MAPI_GUID(IID_IMsgStore, 0x00020306);
QB_MAPI_GUID(IID_IMessage, 0x00020307);
QB_MAPI_GUID(IID_IAttachment, 0x00020308);
QB_MAPI_GUID(IID_IAddrBook, 0x00020309);
QB_MAPI_GUID(IID_IMAPIContainer, 0x0002030B);
QB_MAPI_GUID(IID_IMAPIFolder, 0x0002030C);
QB_MAPI_GUID(IID_IProfAdmin, 0x0002031C);
QB_MAPI_GUID(IID_IMsgServiceAdmin, 0x0002031D);

// Property sets of named properties.
QB_MAPI_GUID(PS_MAPI, 0x00020328);
QB_MAPI_GUID(PS_PUBLIC_STRINGS, 0x00020329);
QB_MAPI_GUID(PS_INTERNET_HEADERS, 0x00020386);
QB_MAPI_GUID(PSETID_Appointment, 0x00062002);
QB_MAPI_GUID(PSETID_Task, 0x00062003);
QB_MAPI_GUID(PSETID_Address, 0x00062004);
QB_MAPI_GUID(PSETID_Common, 0x00062008);
QB_MAPI_GUID(PSETID_Log, 0x0006200A);
QB_MAPI_GUID(PSETID_Note, 0x0006200E);

#undef QB_MAPI_GUID

// The provider identifier of one-off entry identifiers:
// 81 2B 1F A4 BE A3 10 19 9D 6E 00 DD 01 0F 54 02.
inline constexpr MAPIUID MAPI_ONE_OFF_UID = {
    {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02}};

inline bool operator==(const MAPIUID& a, const MAPIUID& b) {
    for (int i = 0; i < 16; ++i)
        if (a.ab[i] != b.ab[i]) return false;
    return true;
}
