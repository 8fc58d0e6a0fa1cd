#pragma once
// MAPI's entry points: initialisation, log-on to a profile, and profile
// administration. Profiles and their message services live in the profiles
// file (ProfileFile.h); stores are opened through the registered
// MsgStoreProvider (StoreProvider.h); dialogs go to the registered
// MapiFrontEnd (MapiFrontEnd.h).

#include "outlook/mapi/MapiInterfaces.h"

struct MAPIINIT_0 {
    ULONG ulVersion;
    ULONG ulFlags;
};
using LPMAPIINIT_0 = MAPIINIT_0*;

constexpr ULONG MAPI_DEFAULT_STORE = 0x00000001;
constexpr ULONG MAPI_SIMPLE_STORE_TEMPORARY = 0x00000002;
constexpr ULONG MAPI_SIMPLE_STORE_PERMANENT = 0x00000003;
constexpr ULONG MAPI_PRIMARY_STORE = 0x00000004;
constexpr ULONG MAPI_SECONDARY_STORE = 0x00000005;

// Counts initialisations; every MAPIInitialize needs its MAPIUninitialize.
// lpMapiInit may be null or a MAPIINIT_0 of version MAPI_INIT_VERSION.
HRESULT MAPIInitialize(LPVOID lpMapiInit);
void MAPIUninitialize();

// Logs on to a profile: the named one, or with no name the default profile
// (MAPI_EXPLICIT_PROFILE without MAPI_USE_DEFAULT asks instead). A named
// profile that does not exist gives MAPI_E_NOT_FOUND; no name and no default
// profile gives MAPI_E_LOGON_FAILED; with MAPI_LOGON_UI a registered front
// end is asked to choose first, and its cancel gives MAPI_E_USER_CANCEL.
// Before MAPIInitialize: MAPI_E_NOT_INITIALIZED. Every log-on makes a session
// of its own; MAPI_ALLOW_OTHERS and MAPI_NEW_SESSION are accepted.
HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPTSTR lpszProfileName, LPTSTR lpszPassword, FLAGS flFlags,
                    LPMAPISESSION* lppSession);

HRESULT MAPIAdminProfiles(ULONG ulFlags, LPPROFADMIN* lppProfAdmin);
