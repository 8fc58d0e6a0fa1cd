#pragma once
// The MAPI interfaces, in the shape of the published ones. Methods the
// Outlook side calls are pure; the few others carry a default that answers
// MAPI_E_NO_SUPPORT, so that an implementation provides what is used.
//
// Store-side interfaces (IMAPIProp, IMAPIContainer, IMAPIFolder, IMsgStore,
// IMessage, IAttach) are implemented by the personal folders store binding;
// the session, profile and table objects of this folder implement the rest.

#include "outlook/mapi/Unknown.h"

class IMAPITable;
class IMAPIFolder;
class IMessage;
class IAttach;
class IMsgStore;
class IAddrBook;
class IMsgServiceAdmin;
class IMAPIProgress;
class IMAPIAdviseSink;
using LPMAPITABLE = IMAPITable*;
using LPMAPIFOLDER = IMAPIFolder*;
using LPMESSAGE = IMessage*;
using LPATTACH = IAttach*;
using LPMDB = IMsgStore*;
using LPADRBOOK = IAddrBook*;
using LPSERVICEADMIN = IMsgServiceAdmin*;
using LPMAPIPROGRESS = IMAPIProgress*;
using LPMAPIADVISESINK = IMAPIAdviseSink*;

// ---- IStream --------------------------------------------------------------
class IStream : public IUnknown {
public:
    using ParentInterface = IUnknown;
    static const IID& Iid() { return IID_IStream; }
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() { return STG_E_INVALIDFUNCTION; }
    virtual HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
    virtual HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
    // The name is never given (pwcsName stays null); STATFLAG_NONAME is implied.
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT Clone(IStream** ppstm) {
        if (ppstm) *ppstm = nullptr;
        return STG_E_INVALIDFUNCTION;
    }
};
using LPSTREAM = IStream*;

// ---- IMAPITable -----------------------------------------------------------
class IMAPITable : public IUnknown {
public:
    using ParentInterface = IUnknown;
    static const IID& Iid() { return IID_IMAPITable; }
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
    virtual HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
    virtual HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
    virtual HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
    virtual HRESULT QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) = 0;
    virtual HRESULT Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
    virtual HRESULT SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
    virtual HRESULT FindRow(LPSRestriction, BOOKMARK, ULONG) { return MAPI_E_NO_SUPPORT; }
};

// ---- IMAPIProp and the store objects --------------------------------------
class IMAPIProp : public IUnknown {
public:
    using ParentInterface = IUnknown;
    static const IID& Iid() { return IID_IMAPIProp; }
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT SaveChanges(ULONG ulFlags) = 0;
    // With a null tag array every property is returned. Missing properties
    // come back as PT_ERROR values with MAPI_E_NOT_FOUND and the call answers
    // MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                             LPSPropValue* lppPropArray) = 0;
    virtual HRESULT GetPropList(ULONG, LPSPropTagArray* lppPropTagArray) {
        if (lppPropTagArray) *lppPropTagArray = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    virtual HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                 LPUNKNOWN* lppUnk) = 0;
    // PR_NULL values are skipped.
    virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT DeleteProps(LPSPropTagArray, LPSPropProblemArray* lppProblems) {
        if (lppProblems) *lppProblems = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    virtual HRESULT GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG* lpcPropNames,
                                    LPMAPINAMEID** lpppPropNames) {
        if (lpcPropNames) *lpcPropNames = 0;
        if (lpppPropNames) *lpppPropNames = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    // Gives one tag per name (PT_UNSPECIFIED type); with MAPI_CREATE unknown
    // names get new identifiers, otherwise they come back as PT_ERROR and the
    // call answers MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                    LPSPropTagArray* lppPropTags) = 0;
};
using LPMAPIPROP = IMAPIProp*;

class IMAPIContainer : public IMAPIProp {
public:
    using ParentInterface = IMAPIProp;
    static const IID& Iid() { return IID_IMAPIContainer; }
    virtual HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
};
using LPMAPICONTAINER = IMAPIContainer*;

class IMAPIFolder : public IMAPIContainer {
public:
    using ParentInterface = IMAPIContainer;
    static const IID& Iid() { return IID_IMAPIFolder; }
    virtual HRESULT CreateMessage(LPCIID lpInterface, ULONG ulFlags, LPMESSAGE* lppMessage) = 0;
    // MAPI_E_COLLISION when a child folder of that name exists (unless
    // OPEN_IF_EXISTS is given, which opens it).
    virtual HRESULT CreateFolder(ULONG ulFolderType, LPTSTR lpszFolderName, LPTSTR lpszFolderComment,
                                 LPCIID lpInterface, ULONG ulFlags, LPMAPIFOLDER* lppFolder) = 0;
    virtual HRESULT DeleteFolder(ULONG, LPENTRYID, ULONG_PTR, LPMAPIPROGRESS, ULONG) { return MAPI_E_NO_SUPPORT; }
    virtual HRESULT DeleteMessages(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) { return MAPI_E_NO_SUPPORT; }
    virtual HRESULT EmptyFolder(ULONG_PTR, LPMAPIPROGRESS, ULONG) { return MAPI_E_NO_SUPPORT; }
};

class IMessage : public IMAPIProp {
public:
    using ParentInterface = IMAPIProp;
    static const IID& Iid() { return IID_IMessage; }
    virtual HRESULT GetAttachmentTable(ULONG, LPMAPITABLE* lppTable) {
        if (lppTable) *lppTable = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    virtual HRESULT OpenAttach(ULONG, LPCIID, ULONG, LPATTACH* lppAttach) {
        if (lppAttach) *lppAttach = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    virtual HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulAttachmentNum,
                                 LPATTACH* lppAttach) = 0;
    virtual HRESULT DeleteAttach(ULONG, ULONG_PTR, LPMAPIPROGRESS, ULONG) { return MAPI_E_NO_SUPPORT; }
    virtual HRESULT GetRecipientTable(ULONG, LPMAPITABLE* lppTable) {
        if (lppTable) *lppTable = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    // MODRECIP_ADD appends the rows of the list as recipients.
    virtual HRESULT ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) = 0;
    virtual HRESULT SubmitMessage(ULONG) { return MAPI_E_NO_SUPPORT; }
    virtual HRESULT SetReadFlag(ULONG ulFlags) = 0;
};

class IAttach : public IMAPIProp {
public:
    using ParentInterface = IMAPIProp;
    static const IID& Iid() { return IID_IAttachment; }
};

class IMsgStore : public IMAPIProp {
public:
    using ParentInterface = IMAPIProp;
    static const IID& Iid() { return IID_IMsgStore; }
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    // Byte-wise comparison unless the store knows better.
    virtual HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                    ULONG, ULONG* lpulResult) {
        if (!lpEntryID1 || !lpEntryID2 || !lpulResult) return MAPI_E_INVALID_PARAMETER;
        const BYTE* a = reinterpret_cast<const BYTE*>(lpEntryID1);
        const BYTE* b = reinterpret_cast<const BYTE*>(lpEntryID2);
        bool same = cbEntryID1 == cbEntryID2;
        for (ULONG i = 0; same && i < cbEntryID1; ++i) same = a[i] == b[i];
        *lpulResult = same ? TRUE : FALSE;
        return S_OK;
    }
    virtual HRESULT SetReceiveFolder(LPTSTR, ULONG, ULONG, LPENTRYID) { return MAPI_E_NO_SUPPORT; }
    // The entry identifier (a MAPI buffer) of the folder receiving the class;
    // lppszExplicitClass, when given, gets the matched class (a MAPI buffer).
    virtual HRESULT GetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags, ULONG* lpcbEntryID,
                                     LPENTRYID* lppEntryID, LPTSTR* lppszExplicitClass) = 0;
    virtual HRESULT StoreLogoff(ULONG* lpulFlags) {
        if (lpulFlags) *lpulFlags = LOGOFF_NO_WAIT;
        return S_OK;
    }
};

// ---- Address book ---------------------------------------------------------
class IAddrBook : public IMAPIProp {
public:
    using ParentInterface = IMAPIProp;
    static const IID& Iid() { return IID_IAddrBook; }
    // A one-off entry identifier in a MAPI buffer. Flags: MAPI_UNICODE (the
    // strings are wide), MAPI_SEND_NO_RICH_INFO.
    virtual HRESULT CreateOneOff(LPTSTR lpszName, LPTSTR lpszAdrType, LPTSTR lpszAddress, ULONG ulFlags,
                                 ULONG* lpcbEntryID, LPENTRYID* lppEntryID) = 0;
};

// ---- Session and administration -------------------------------------------
class IMAPISession : public IUnknown {
public:
    using ParentInterface = IUnknown;
    static const IID& Iid() { return IID_IMAPISession; }
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT GetMsgStoresTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenMsgStore(ULONG_PTR ulUIParam, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                                 ULONG ulFlags, LPMDB* lppMDB) = 0;
    virtual HRESULT OpenAddressBook(ULONG_PTR ulUIParam, LPCIID lpInterface, ULONG ulFlags,
                                    LPADRBOOK* lppAdrBook) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2,
                                    LPENTRYID lpEntryID2, ULONG ulFlags, ULONG* lpulResult) = 0;
    virtual HRESULT Logoff(ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulReserved) = 0;
    virtual HRESULT SetDefaultStore(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    virtual HRESULT AdminServices(ULONG ulFlags, LPSERVICEADMIN* lppServiceAdmin) = 0;
};
using LPMAPISESSION = IMAPISession*;

class IMsgServiceAdmin : public IUnknown {
public:
    using ParentInterface = IUnknown;
    static const IID& Iid() { return IID_IMsgServiceAdmin; }
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT CreateMsgService(LPTSTR lpszService, LPTSTR lpszDisplayName, ULONG_PTR ulUIParam,
                                     ULONG ulFlags) = 0;
    virtual HRESULT DeleteMsgService(LPMAPIUID lpUID) = 0;
    virtual HRESULT ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cValues,
                                        LPSPropValue lpProps) = 0;
};

class IProfAdmin : public IUnknown {
public:
    using ParentInterface = IUnknown;
    static const IID& Iid() { return IID_IProfAdmin; }
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT GetProfileTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT CreateProfile(LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG_PTR ulUIParam,
                                  ULONG ulFlags) = 0;
    virtual HRESULT DeleteProfile(LPTSTR lpszProfileName, ULONG ulFlags) = 0;
    virtual HRESULT SetDefaultProfile(LPTSTR lpszProfileName, ULONG ulFlags) = 0;
    virtual HRESULT AdminServices(LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG_PTR ulUIParam, ULONG ulFlags,
                                  LPSERVICEADMIN* lppServiceAdmin) = 0;
};
using LPPROFADMIN = IProfAdmin*;
