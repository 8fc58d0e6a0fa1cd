#pragma once
// The Extended MAPI data definitions as the Outlook side uses them: scalar
// types, result codes, property types and tags macros, property values, row
// sets, restrictions, entry identifiers and the flags of the calls. Names and
// values are those of the published MAPI headers, so that code written against
// MAPI reads the same here. Strings are char (UTF-8) unless MAPI_UNICODE says
// they are wide.

#include <cstddef>
#include <cstdint>

// ---- Scalar types ---------------------------------------------------------
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = int;
using ULONG_PTR = std::uintptr_t;
using FLAGS = ULONG;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using WCHAR = wchar_t;
using LPBYTE = BYTE*;
using LPVOID = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPTSTR = char*;
using LPCTSTR = const char*;
using LPOLESTR = WCHAR*;
using LPULONG = ULONG*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// MAPI declares its variable-length arrays with one element.
#define MAPI_DIM 1

struct GUID {
    ULONG Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using LPGUID = GUID*;
using LPIID = IID*;
using LPCIID = const IID*;
using REFIID = const IID&;
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }
#define IsEqualIID(a, b) IsEqualGUID((a), (b))

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};
union CURRENCY {
    struct {
        ULONG Lo;
        LONG Hi;
    } u;
    LONGLONG int64;
};

// ---- Result codes ---------------------------------------------------------
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool HR_FAILED(HRESULT hr) { return hr < 0; }
constexpr bool HR_SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr SCODE GetScode(HRESULT hr) { return hr; }
constexpr HRESULT ResultFromScode(SCODE sc) { return sc; }

#define QB_HR(v) static_cast<HRESULT>(static_cast<std::uint32_t>(v))
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT hrSuccess = 0;
constexpr HRESULT SUCCESS_SUCCESS = 0;
constexpr HRESULT E_NOTIMPL = QB_HR(0x80004001);
constexpr HRESULT E_NOINTERFACE = QB_HR(0x80004002);
constexpr HRESULT E_POINTER = QB_HR(0x80004003);
constexpr HRESULT E_FAIL = QB_HR(0x80004005);
constexpr HRESULT E_UNEXPECTED = QB_HR(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = QB_HR(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = QB_HR(0x8007000E);
constexpr HRESULT E_INVALIDARG = QB_HR(0x80070057);

constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_INTERFACE_NOT_SUPPORTED = E_NOINTERFACE;
constexpr HRESULT MAPI_E_NO_ACCESS = E_ACCESSDENIED;
constexpr HRESULT MAPI_E_NO_SUPPORT = QB_HR(0x80040102);
constexpr HRESULT MAPI_E_BAD_CHARWIDTH = QB_HR(0x80040103);
constexpr HRESULT MAPI_E_STRING_TOO_LONG = QB_HR(0x80040105);
constexpr HRESULT MAPI_E_UNKNOWN_FLAGS = QB_HR(0x80040106);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = QB_HR(0x80040107);
constexpr HRESULT MAPI_E_INVALID_OBJECT = QB_HR(0x80040108);
constexpr HRESULT MAPI_E_OBJECT_CHANGED = QB_HR(0x80040109);
constexpr HRESULT MAPI_E_OBJECT_DELETED = QB_HR(0x8004010A);
constexpr HRESULT MAPI_E_BUSY = QB_HR(0x8004010B);
constexpr HRESULT MAPI_E_NOT_ENOUGH_DISK = QB_HR(0x8004010D);
constexpr HRESULT MAPI_E_NOT_ENOUGH_RESOURCES = QB_HR(0x8004010E);
constexpr HRESULT MAPI_E_NOT_FOUND = QB_HR(0x8004010F);
constexpr HRESULT MAPI_E_VERSION = QB_HR(0x80040110);
constexpr HRESULT MAPI_E_LOGON_FAILED = QB_HR(0x80040111);
constexpr HRESULT MAPI_E_SESSION_LIMIT = QB_HR(0x80040112);
constexpr HRESULT MAPI_E_USER_CANCEL = QB_HR(0x80040113);
constexpr HRESULT MAPI_E_UNABLE_TO_ABORT = QB_HR(0x80040114);
constexpr HRESULT MAPI_E_NETWORK_ERROR = QB_HR(0x80040115);
constexpr HRESULT MAPI_E_DISK_ERROR = QB_HR(0x80040116);
constexpr HRESULT MAPI_E_TOO_COMPLEX = QB_HR(0x80040117);
constexpr HRESULT MAPI_E_BAD_COLUMN = QB_HR(0x80040118);
constexpr HRESULT MAPI_E_EXTENDED_ERROR = QB_HR(0x80040119);
constexpr HRESULT MAPI_E_COMPUTED = QB_HR(0x8004011A);
constexpr HRESULT MAPI_E_CORRUPT_DATA = QB_HR(0x8004011B);
constexpr HRESULT MAPI_E_UNCONFIGURED = QB_HR(0x8004011C);
constexpr HRESULT MAPI_E_FAILONEPROVIDER = QB_HR(0x8004011D);
constexpr HRESULT MAPI_E_END_OF_SESSION = QB_HR(0x80040200);
constexpr HRESULT MAPI_E_UNKNOWN_ENTRYID = QB_HR(0x80040201);
constexpr HRESULT MAPI_E_MISSING_REQUIRED_COLUMN = QB_HR(0x80040202);
constexpr HRESULT MAPI_W_NO_SERVICE = QB_HR(0x00040203);
constexpr HRESULT MAPI_E_BAD_VALUE = QB_HR(0x80040301);
constexpr HRESULT MAPI_E_INVALID_TYPE = QB_HR(0x80040302);
constexpr HRESULT MAPI_E_TYPE_NO_SUPPORT = QB_HR(0x80040303);
constexpr HRESULT MAPI_E_UNEXPECTED_TYPE = QB_HR(0x80040304);
constexpr HRESULT MAPI_E_TOO_BIG = QB_HR(0x80040305);
constexpr HRESULT MAPI_E_DECLINE_COPY = QB_HR(0x80040306);
constexpr HRESULT MAPI_E_UNEXPECTED_ID = QB_HR(0x80040307);
constexpr HRESULT MAPI_W_ERRORS_RETURNED = QB_HR(0x00040380);
constexpr HRESULT MAPI_E_UNABLE_TO_COMPLETE = QB_HR(0x80040400);
constexpr HRESULT MAPI_E_TIMEOUT = QB_HR(0x80040401);
constexpr HRESULT MAPI_E_TABLE_EMPTY = QB_HR(0x80040402);
constexpr HRESULT MAPI_E_TABLE_TOO_BIG = QB_HR(0x80040403);
constexpr HRESULT MAPI_E_INVALID_BOOKMARK = QB_HR(0x80040405);
constexpr HRESULT MAPI_W_POSITION_CHANGED = QB_HR(0x00040481);
constexpr HRESULT MAPI_W_APPROX_COUNT = QB_HR(0x00040482);
constexpr HRESULT MAPI_E_WAIT = QB_HR(0x80040500);
constexpr HRESULT MAPI_E_CANCEL = QB_HR(0x80040501);
constexpr HRESULT MAPI_E_NOT_ME = QB_HR(0x80040502);
constexpr HRESULT MAPI_E_CORRUPT_STORE = QB_HR(0x80040600);
constexpr HRESULT MAPI_E_NOT_IN_QUEUE = QB_HR(0x80040601);
constexpr HRESULT MAPI_E_NO_SUPPRESS = QB_HR(0x80040602);
constexpr HRESULT MAPI_E_COLLISION = QB_HR(0x80040604);
// Also what a message service without an entry point function reports.
constexpr HRESULT MAPI_E_NOT_INITIALIZED = QB_HR(0x80040605);
constexpr HRESULT MAPI_E_NON_STANDARD = QB_HR(0x80040606);
constexpr HRESULT MAPI_E_NO_RECIPIENTS = QB_HR(0x80040607);
constexpr HRESULT MAPI_E_SUBMITTED = QB_HR(0x80040608);
constexpr HRESULT MAPI_E_HAS_FOLDERS = QB_HR(0x80040609);
constexpr HRESULT MAPI_E_HAS_MESSAGES = QB_HR(0x8004060A);
constexpr HRESULT MAPI_E_FOLDER_CYCLE = QB_HR(0x8004060B);
constexpr HRESULT MAPI_W_PARTIAL_COMPLETION = QB_HR(0x00040680);
constexpr HRESULT MAPI_E_AMBIGUOUS_RECIP = QB_HR(0x80040700);

// Structured storage results of the stream objects.
constexpr HRESULT STG_E_INVALIDFUNCTION = QB_HR(0x80030001);
constexpr HRESULT STG_E_FILENOTFOUND = QB_HR(0x80030002);
constexpr HRESULT STG_E_PATHNOTFOUND = QB_HR(0x80030003);
constexpr HRESULT STG_E_ACCESSDENIED = QB_HR(0x80030005);
constexpr HRESULT STG_E_INVALIDPOINTER = QB_HR(0x80030009);
constexpr HRESULT STG_E_WRITEFAULT = QB_HR(0x8003001D);
constexpr HRESULT STG_E_READFAULT = QB_HR(0x8003001E);
constexpr HRESULT STG_E_MEDIUMFULL = QB_HR(0x80030070);
constexpr HRESULT STG_E_INVALIDFLAG = QB_HR(0x800300FF);
constexpr HRESULT STG_E_REVERTED = QB_HR(0x80030102);

// ---- Property types and tags ----------------------------------------------
constexpr ULONG PT_UNSPECIFIED = 0x0000;
constexpr ULONG PT_NULL = 0x0001;
constexpr ULONG PT_I2 = 0x0002;
constexpr ULONG PT_SHORT = PT_I2;
constexpr ULONG PT_LONG = 0x0003;
constexpr ULONG PT_I4 = PT_LONG;
constexpr ULONG PT_R4 = 0x0004;
constexpr ULONG PT_FLOAT = PT_R4;
constexpr ULONG PT_DOUBLE = 0x0005;
constexpr ULONG PT_R8 = PT_DOUBLE;
constexpr ULONG PT_CURRENCY = 0x0006;
constexpr ULONG PT_APPTIME = 0x0007;
constexpr ULONG PT_ERROR = 0x000A;
constexpr ULONG PT_BOOLEAN = 0x000B;
constexpr ULONG PT_OBJECT = 0x000D;
constexpr ULONG PT_I8 = 0x0014;
constexpr ULONG PT_LONGLONG = PT_I8;
constexpr ULONG PT_STRING8 = 0x001E;
constexpr ULONG PT_UNICODE = 0x001F;
constexpr ULONG PT_TSTRING = PT_STRING8;
constexpr ULONG PT_SYSTIME = 0x0040;
constexpr ULONG PT_CLSID = 0x0048;
constexpr ULONG PT_BINARY = 0x0102;
constexpr ULONG MV_FLAG = 0x1000;
constexpr ULONG MV_INSTANCE = 0x2000;
constexpr ULONG PT_MV_I2 = MV_FLAG | PT_I2;
constexpr ULONG PT_MV_SHORT = PT_MV_I2;
constexpr ULONG PT_MV_LONG = MV_FLAG | PT_LONG;
constexpr ULONG PT_MV_R4 = MV_FLAG | PT_R4;
constexpr ULONG PT_MV_DOUBLE = MV_FLAG | PT_DOUBLE;
constexpr ULONG PT_MV_CURRENCY = MV_FLAG | PT_CURRENCY;
constexpr ULONG PT_MV_APPTIME = MV_FLAG | PT_APPTIME;
constexpr ULONG PT_MV_SYSTIME = MV_FLAG | PT_SYSTIME;
constexpr ULONG PT_MV_STRING8 = MV_FLAG | PT_STRING8;
constexpr ULONG PT_MV_UNICODE = MV_FLAG | PT_UNICODE;
constexpr ULONG PT_MV_TSTRING = PT_MV_STRING8;
constexpr ULONG PT_MV_BINARY = MV_FLAG | PT_BINARY;
constexpr ULONG PT_MV_CLSID = MV_FLAG | PT_CLSID;
constexpr ULONG PT_MV_I8 = MV_FLAG | PT_I8;

constexpr ULONG PROP_TYPE_MASK = 0x0000FFFF;
constexpr ULONG PROP_TYPE(ULONG tag) { return tag & PROP_TYPE_MASK; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return (id << 16) | type; }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }
constexpr ULONG PROP_ID_NULL = 0;
constexpr ULONG PROP_ID_INVALID = 0xFFFF;
constexpr ULONG PR_NULL = PROP_TAG(PT_NULL, PROP_ID_NULL);

// ---- Property values ------------------------------------------------------
struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};
using LPSBinary = SBinary*;

struct SShortArray { ULONG cValues; short* lpi; };
struct SLongArray { ULONG cValues; LONG* lpl; };
struct SRealArray { ULONG cValues; float* lpflt; };
struct SDoubleArray { ULONG cValues; double* lpdbl; };
struct SCurrencyArray { ULONG cValues; CURRENCY* lpcur; };
struct SAppTimeArray { ULONG cValues; double* lpat; };
struct SDateTimeArray { ULONG cValues; FILETIME* lpft; };
struct SBinaryArray { ULONG cValues; SBinary* lpbin; };
struct SLPSTRArray { ULONG cValues; LPSTR* lppszA; };
struct SWStringArray { ULONG cValues; LPWSTR* lppszW; };
struct SGuidArray { ULONG cValues; GUID* lpguid; };
struct SLargeIntegerArray { ULONG cValues; LARGE_INTEGER* lpli; };
using SBinaryArrayPtr = SBinaryArray*;
using ENTRYLIST = SBinaryArray;
using LPENTRYLIST = SBinaryArray*;

union _PV {
    short i;
    LONG l;
    ULONG ul;
    float flt;
    double dbl;
    unsigned short b;
    CURRENCY cur;
    double at;
    FILETIME ft;
    LPSTR lpszA;
    SBinary bin;
    LPWSTR lpszW;
    LPGUID lpguid;
    LARGE_INTEGER li;
    SShortArray MVi;
    SLongArray MVl;
    SRealArray MVflt;
    SDoubleArray MVdbl;
    SCurrencyArray MVcur;
    SAppTimeArray MVat;
    SDateTimeArray MVft;
    SBinaryArray MVbin;
    SLPSTRArray MVszA;
    SWStringArray MVszW;
    SGuidArray MVguid;
    SLargeIntegerArray MVli;
    SCODE err;
    LONG x;
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    union _PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[MAPI_DIM];
};
using LPSPropTagArray = SPropTagArray*;
#define CbNewSPropTagArray(n) (offsetof(SPropTagArray, aulPropTag) + (n) * sizeof(ULONG))
#define SizedSPropTagArray(n, name) \
    struct _SPropTagArray_##name {  \
        ULONG cValues;              \
        ULONG aulPropTag[n];        \
    } name

struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};
struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[MAPI_DIM];
};
using LPSPropProblemArray = SPropProblemArray*;
#define CbNewSPropProblemArray(n) (offsetof(SPropProblemArray, aProblem) + (n) * sizeof(SPropProblem))

// ---- Rows and address lists -----------------------------------------------
struct SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
};
using LPSRow = SRow*;
struct SRowSet {
    ULONG cRows;
    SRow aRow[MAPI_DIM];
};
using LPSRowSet = SRowSet*;
#define CbNewSRowSet(n) (offsetof(SRowSet, aRow) + (n) * sizeof(SRow))

struct ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
};
using LPADRENTRY = ADRENTRY*;
struct ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[MAPI_DIM];
};
using LPADRLIST = ADRLIST*;
#define CbNewADRLIST(n) (offsetof(ADRLIST, aEntries) + (n) * sizeof(ADRENTRY))

struct FLATENTRY {
    ULONG cb;
    BYTE abEntry[MAPI_DIM];
};
using LPFLATENTRY = FLATENTRY*;
struct FLATENTRYLIST {
    ULONG cEntries;
    ULONG cbEntries;
    BYTE abEntries[MAPI_DIM];
};
using LPFLATENTRYLIST = FLATENTRYLIST*;
#define CbNewFLATENTRY(cb) (offsetof(FLATENTRY, abEntry) + (cb))
#define CbNewFLATENTRYLIST(cb) (offsetof(FLATENTRYLIST, abEntries) + (cb))

// ---- Sorting (accepted but tables here keep their order) ------------------
struct SSortOrder {
    ULONG ulPropTag;
    ULONG ulOrder;
};
struct SSortOrderSet {
    ULONG cSorts;
    ULONG cCategories;
    ULONG cExpanded;
    SSortOrder aSort[MAPI_DIM];
};
using LPSSortOrderSet = SSortOrderSet*;
constexpr ULONG TABLE_SORT_ASCEND = 0x00000000;
constexpr ULONG TABLE_SORT_DESCEND = 0x00000001;

// ---- Restrictions ---------------------------------------------------------
constexpr ULONG RES_AND = 0x00000000;
constexpr ULONG RES_OR = 0x00000001;
constexpr ULONG RES_NOT = 0x00000002;
constexpr ULONG RES_CONTENT = 0x00000003;
constexpr ULONG RES_PROPERTY = 0x00000004;
constexpr ULONG RES_COMPAREPROPS = 0x00000005;
constexpr ULONG RES_BITMASK = 0x00000006;
constexpr ULONG RES_SIZE = 0x00000007;
constexpr ULONG RES_EXIST = 0x00000008;
constexpr ULONG RES_SUBRESTRICTION = 0x00000009;
constexpr ULONG RES_COMMENT = 0x0000000A;

constexpr ULONG RELOP_LT = 0;
constexpr ULONG RELOP_LE = 1;
constexpr ULONG RELOP_GT = 2;
constexpr ULONG RELOP_GE = 3;
constexpr ULONG RELOP_EQ = 4;
constexpr ULONG RELOP_NE = 5;
constexpr ULONG RELOP_RE = 6;

constexpr ULONG FL_FULLSTRING = 0x00000000;
constexpr ULONG FL_SUBSTRING = 0x00000001;
constexpr ULONG FL_PREFIX = 0x00000002;
constexpr ULONG FL_IGNORECASE = 0x00010000;
constexpr ULONG FL_IGNORENONSPACE = 0x00020000;
constexpr ULONG FL_LOOSE = 0x00040000;

constexpr ULONG BMR_EQZ = 0;
constexpr ULONG BMR_NEZ = 1;

struct SRestriction;
using LPSRestriction = SRestriction*;
struct SAndRestriction { ULONG cRes; LPSRestriction lpRes; };
struct SOrRestriction { ULONG cRes; LPSRestriction lpRes; };
struct SNotRestriction { ULONG ulReserved; LPSRestriction lpRes; };
struct SContentRestriction { ULONG ulFuzzyLevel; ULONG ulPropTag; LPSPropValue lpProp; };
struct SPropertyRestriction { ULONG relop; ULONG ulPropTag; LPSPropValue lpProp; };
struct SComparePropsRestriction { ULONG relop; ULONG ulPropTag1; ULONG ulPropTag2; };
struct SBitMaskRestriction { ULONG relBMR; ULONG ulPropTag; ULONG ulMask; };
struct SSizeRestriction { ULONG relop; ULONG ulPropTag; ULONG cb; };
struct SExistRestriction { ULONG ulReserved1; ULONG ulPropTag; ULONG ulReserved2; };
struct SSubRestriction { ULONG ulSubObject; LPSRestriction lpRes; };
struct SCommentRestriction { ULONG cValues; LPSRestriction lpRes; LPSPropValue lpProp; };

struct SRestriction {
    ULONG rt;
    union {
        SComparePropsRestriction resCompareProps;
        SAndRestriction resAnd;
        SOrRestriction resOr;
        SNotRestriction resNot;
        SContentRestriction resContent;
        SPropertyRestriction resProperty;
        SBitMaskRestriction resBitMask;
        SSizeRestriction resSize;
        SExistRestriction resExist;
        SSubRestriction resSub;
        SCommentRestriction resComment;
    } res;
};

// ---- Entry identifiers and names ------------------------------------------
struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[MAPI_DIM];
};
using LPENTRYID = ENTRYID*;
#define CbNewENTRYID(cb) (offsetof(ENTRYID, ab) + (cb))

struct MAPIUID {
    BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;

constexpr ULONG MNID_ID = 0;
constexpr ULONG MNID_STRING = 1;
struct MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
};
using LPMAPINAMEID = MAPINAMEID*;

// ---- Errors ---------------------------------------------------------------
constexpr ULONG MAPI_ERROR_VERSION = 0x00000000;
struct MAPIERROR {
    ULONG ulVersion;
    LPTSTR lpszError;
    LPTSTR lpszComponent;
    ULONG ulLowLevelError;
    ULONG ulContext;
};
using LPMAPIERROR = MAPIERROR*;

// ---- Flags ----------------------------------------------------------------
constexpr ULONG MAPI_UNICODE = 0x80000000;
constexpr ULONG MAPI_MODIFY = 0x00000001;
constexpr ULONG MAPI_ACCESS_MODIFY = 0x00000001;
constexpr ULONG MAPI_ACCESS_READ = 0x00000002;
constexpr ULONG MAPI_ACCESS_DELETE = 0x00000004;
constexpr ULONG MAPI_ACCESS_CREATE_HIERARCHY = 0x00000008;
constexpr ULONG MAPI_ACCESS_CREATE_CONTENTS = 0x00000010;
constexpr ULONG MAPI_ACCESS_CREATE_ASSOCIATED = 0x00000020;
constexpr ULONG MAPI_CREATE = 0x00000002;
constexpr ULONG MAPI_DEFERRED_ERRORS = 0x00000008;
constexpr ULONG MAPI_BEST_ACCESS = 0x00000010;
constexpr ULONG MAPI_ASSOCIATED = 0x00000040;
constexpr ULONG MAPI_DIALOG = 0x00000008;
constexpr ULONG MAPI_NO_MAIL = 0x00008000;

// MAPIInitialize
constexpr ULONG MAPI_INIT_VERSION = 0;
constexpr ULONG MAPI_MULTITHREAD_NOTIFICATIONS = 0x00000001;
constexpr ULONG MAPI_NT_SERVICE = 0x00010000;
constexpr ULONG MAPI_NO_COINIT = 0x00000008;

// MAPILogonEx
constexpr ULONG MAPI_LOGON_UI = 0x00000001;
constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
constexpr ULONG MAPI_ALLOW_OTHERS = 0x00000008;
constexpr ULONG MAPI_EXPLICIT_PROFILE = 0x00000010;
constexpr ULONG MAPI_EXTENDED = 0x00000020;
constexpr ULONG MAPI_FORCE_DOWNLOAD = 0x00001000;
constexpr ULONG MAPI_SERVICE_UI_ALWAYS = 0x00002000;
constexpr ULONG MAPI_USE_DEFAULT = 0x00000040;
constexpr ULONG MAPI_PASSWORD_UI = 0x00020000;
constexpr ULONG MAPI_TIMEOUT_SHORT = 0x00100000;

// Message services
constexpr ULONG SERVICE_UI_ALWAYS = 0x00000002;
constexpr ULONG SERVICE_UI_ALLOWED = 0x00000010;
constexpr ULONG MSG_SERVICE_UI_READ_ONLY = 0x00000008;
constexpr ULONG MAPI_DEFAULT_SERVICES = 0x00000001;

// Object types
constexpr ULONG MAPI_STORE = 0x00000001;
constexpr ULONG MAPI_ADDRBOOK = 0x00000002;
constexpr ULONG MAPI_FOLDER = 0x00000003;
constexpr ULONG MAPI_ABCONT = 0x00000004;
constexpr ULONG MAPI_MESSAGE = 0x00000005;
constexpr ULONG MAPI_MAILUSER = 0x00000006;
constexpr ULONG MAPI_ATTACH = 0x00000007;
constexpr ULONG MAPI_DISTLIST = 0x00000008;
constexpr ULONG MAPI_PROFSECT = 0x00000009;
constexpr ULONG MAPI_STATUS = 0x0000000A;
constexpr ULONG MAPI_SESSION = 0x0000000B;
constexpr ULONG MAPI_FORMINFO = 0x0000000C;

// Stores
constexpr ULONG MDB_NO_DIALOG = 0x00000001;
constexpr ULONG MDB_WRITE = 0x00000004;
constexpr ULONG MDB_TEMPORARY = 0x00000020;
constexpr ULONG MDB_NO_MAIL = 0x00000080;
constexpr ULONG LOGOFF_NO_WAIT = 0x00000001;
constexpr ULONG LOGOFF_ORDERLY = 0x00000002;
constexpr ULONG LOGOFF_PURGE = 0x00000004;
constexpr ULONG LOGOFF_ABORT = 0x00000008;
constexpr ULONG LOGOFF_QUIET = 0x00000010;

// PR_STORE_SUPPORT_MASK bits
constexpr ULONG STORE_ENTRYID_UNIQUE = 0x00000001;
constexpr ULONG STORE_READONLY = 0x00000002;
constexpr ULONG STORE_SEARCH_OK = 0x00000004;
constexpr ULONG STORE_MODIFY_OK = 0x00000008;
constexpr ULONG STORE_CREATE_OK = 0x00000010;
constexpr ULONG STORE_ATTACH_OK = 0x00000020;
constexpr ULONG STORE_OLE_OK = 0x00000040;
constexpr ULONG STORE_SUBMIT_OK = 0x00000080;
constexpr ULONG STORE_NOTIFY_OK = 0x00000100;
constexpr ULONG STORE_MV_PROPS_OK = 0x00000200;
constexpr ULONG STORE_CATEGORIZE_OK = 0x00000400;
constexpr ULONG STORE_RTF_OK = 0x00000800;
constexpr ULONG STORE_RESTRICTION_OK = 0x00001000;
constexpr ULONG STORE_SORT_OK = 0x00002000;
constexpr ULONG STORE_PUBLIC_FOLDERS = 0x00004000;
constexpr ULONG STORE_UNCOMPRESSED_RTF = 0x00008000;
constexpr ULONG STORE_HTML_OK = 0x00010000;
constexpr ULONG STORE_ANSI_OK = 0x00020000;
constexpr ULONG STORE_UNICODE_OK = 0x00040000;

// Folders
constexpr ULONG FOLDER_ROOT = 0x00000000;
constexpr ULONG FOLDER_GENERIC = 0x00000001;
constexpr ULONG FOLDER_SEARCH = 0x00000002;
constexpr ULONG OPEN_IF_EXISTS = 0x00000001;
constexpr ULONG DEL_MESSAGES = 0x00000008;
constexpr ULONG DEL_FOLDERS = 0x00000004;
constexpr ULONG DEL_ASSOCIATED = 0x00000008;

// Saving
constexpr ULONG KEEP_OPEN_READONLY = 0x00000001;
constexpr ULONG KEEP_OPEN_READWRITE = 0x00000002;
constexpr ULONG FORCE_SAVE = 0x00000004;

// Recipients
constexpr ULONG MAPI_ORIG = 0;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;
constexpr ULONG MAPI_P1 = 0x10000000;
constexpr ULONG MAPI_SUBMITTED = 0x80000000;
constexpr ULONG MODRECIP_ADD = 0x00000002;
constexpr ULONG MODRECIP_MODIFY = 0x00000004;
constexpr ULONG MODRECIP_REMOVE = 0x00000008;

// Message flags (PR_MESSAGE_FLAGS) and SetReadFlag
constexpr ULONG MSGFLAG_READ = 0x00000001;
constexpr ULONG MSGFLAG_UNMODIFIED = 0x00000002;
constexpr ULONG MSGFLAG_SUBMIT = 0x00000004;
constexpr ULONG MSGFLAG_UNSENT = 0x00000008;
constexpr ULONG MSGFLAG_HASATTACH = 0x00000010;
constexpr ULONG MSGFLAG_FROMME = 0x00000020;
constexpr ULONG MSGFLAG_ASSOCIATED = 0x00000040;
constexpr ULONG MSGFLAG_RESEND = 0x00000080;
constexpr ULONG MSGFLAG_RN_PENDING = 0x00000100;
constexpr ULONG MSGFLAG_NRN_PENDING = 0x00000200;
constexpr ULONG SUPPRESS_RECEIPT = 0x00000001;
constexpr ULONG CLEAR_READ_FLAG = 0x00000004;
constexpr ULONG GENERATE_RECEIPT_ONLY = 0x00000010;
constexpr ULONG CLEAR_RN_PENDING = 0x00000020;
constexpr ULONG CLEAR_NRN_PENDING = 0x00000040;

// Attachments
constexpr ULONG NO_ATTACHMENT = 0x00000000;
constexpr ULONG ATTACH_BY_VALUE = 0x00000001;
constexpr ULONG ATTACH_BY_REFERENCE = 0x00000002;
constexpr ULONG ATTACH_BY_REF_RESOLVE = 0x00000003;
constexpr ULONG ATTACH_BY_REF_ONLY = 0x00000004;
constexpr ULONG ATTACH_EMBEDDED_MSG = 0x00000005;
constexpr ULONG ATTACH_OLE = 0x00000006;

// Property access
constexpr ULONG MAPI_NO_STRINGS = 0x00000001;
constexpr ULONG MAPI_NO_IDS = 0x00000002;
constexpr ULONG STREAM_APPEND = 0x00000004;

// Sensitivity and importance
constexpr ULONG SENSITIVITY_NONE = 0;
constexpr ULONG SENSITIVITY_PERSONAL = 1;
constexpr ULONG SENSITIVITY_PRIVATE = 2;
constexpr ULONG SENSITIVITY_COMPANY_CONFIDENTIAL = 3;
constexpr LONG IMPORTANCE_LOW = 0;
constexpr LONG IMPORTANCE_NORMAL = 1;
constexpr LONG IMPORTANCE_HIGH = 2;

// Tables
using BOOKMARK = ULONG;
constexpr BOOKMARK BOOKMARK_BEGINNING = 0;
constexpr BOOKMARK BOOKMARK_CURRENT = 1;
constexpr BOOKMARK BOOKMARK_END = 2;
constexpr ULONG TBL_NOADVANCE = 0x00000001;
constexpr ULONG TBL_BATCH = 0x00000002;
constexpr ULONG TBL_ASYNC = 0x00000001;
constexpr ULONG TBL_ALL_COLUMNS = 0x00000001;
constexpr ULONG DIR_BACKWARD = 0x00000001;
constexpr ULONG SHOW_SOFT_DELETES = 0x00000002;
constexpr ULONG CONVENIENT_DEPTH = 0x00000001;

// Compressed RTF
constexpr ULONG RTF_SYNC_RTF_CHANGED = 0x00000001;
constexpr ULONG RTF_SYNC_BODY_CHANGED = 0x00000002;

// One-off entry identifiers
constexpr ULONG MAPI_ONE_OFF_UNICODE = 0x8000;
constexpr ULONG MAPI_ONE_OFF_NO_RICH_INFO = 0x0001;
constexpr ULONG MAPI_SEND_NO_RICH_INFO = 0x00010000;

// Entry identifier flags (abFlags[0])
constexpr BYTE MAPI_SHORTTERM = 0x80;
constexpr BYTE MAPI_NOTRECIP = 0x40;
constexpr BYTE MAPI_THISSESSION = 0x20;
constexpr BYTE MAPI_NOW = 0x10;
constexpr BYTE MAPI_NOTRESERVED = 0x08;

// Named properties
constexpr ULONG MAPI_NAMED_PROP_BASE = 0x8000;

// Resource flags of store and service rows
constexpr ULONG STATUS_DEFAULT_STORE = 0x00000001;
constexpr ULONG STATUS_PRIMARY_STORE = 0x00001000;
constexpr ULONG SERVICE_DEFAULT_STORE = 0x00000001;
constexpr ULONG SERVICE_PRIMARY_IDENTITY = 0x00000008;

// Profile table
constexpr ULONG MAPI_DEFAULT_PROFILE = 0x00000001;

// Structured storage
constexpr DWORD STGM_READ = 0x00000000;
constexpr DWORD STGM_WRITE = 0x00000001;
constexpr DWORD STGM_READWRITE = 0x00000002;
constexpr DWORD STGM_SHARE_DENY_NONE = 0x00000040;
constexpr DWORD STGM_SHARE_DENY_READ = 0x00000030;
constexpr DWORD STGM_SHARE_DENY_WRITE = 0x00000020;
constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x00000010;
constexpr DWORD STGM_CREATE = 0x00001000;
constexpr DWORD STGM_DELETEONRELEASE = 0x04000000;
constexpr DWORD STGM_TRANSACTED = 0x00010000;
constexpr DWORD STATFLAG_DEFAULT = 0;
constexpr DWORD STATFLAG_NONAME = 1;
constexpr DWORD STREAM_SEEK_SET = 0;
constexpr DWORD STREAM_SEEK_CUR = 1;
constexpr DWORD STREAM_SEEK_END = 2;
constexpr DWORD STGC_DEFAULT = 0;
constexpr DWORD STGC_OVERWRITE = 1;
constexpr DWORD STGC_ONLYIFCURRENT = 2;
constexpr DWORD STGTY_STORAGE = 1;
constexpr DWORD STGTY_STREAM = 2;
constexpr DWORD STGTY_LOCKBYTES = 3;
constexpr DWORD STGTY_PROPERTY = 4;
// OpenStreamOnFile: create the file (with SOF_UNIQUEFILENAME a fresh one).
constexpr ULONG SOF_UNIQUEFILENAME = 0x80000000;

struct STATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

// ---- Allocator function types ---------------------------------------------
using ALLOCATEBUFFER = SCODE(ULONG cbSize, LPVOID* lppBuffer);
using ALLOCATEMORE = SCODE(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
using FREEBUFFER = ULONG(LPVOID lpBuffer);
using LPALLOCATEBUFFER = ALLOCATEBUFFER*;
using LPALLOCATEMORE = ALLOCATEMORE*;
using LPFREEBUFFER = FREEBUFFER*;
