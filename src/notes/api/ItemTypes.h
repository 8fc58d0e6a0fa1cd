#pragma once
// Item type codes and item flags as the Notes C API numbers them.

#include "notes/api/LNGlobal.h"

using LNITEMTYPE = WORD;

inline constexpr LNITEMTYPE TYPE_INVALID_OR_UNKNOWN = 0x0000;
inline constexpr LNITEMTYPE TYPE_COMPOSITE = 0x0001;  // rich text
inline constexpr LNITEMTYPE TYPE_COLLATION = 0x0002;
inline constexpr LNITEMTYPE TYPE_OBJECT = 0x0003;  // file object ($FILE)
inline constexpr LNITEMTYPE TYPE_NOTEREF_LIST = 0x0004;
inline constexpr LNITEMTYPE TYPE_VIEW_FORMAT = 0x0005;
inline constexpr LNITEMTYPE TYPE_ICON = 0x0006;
inline constexpr LNITEMTYPE TYPE_NOTELINK_LIST = 0x0007;
inline constexpr LNITEMTYPE TYPE_SIGNATURE = 0x0008;
inline constexpr LNITEMTYPE TYPE_SEAL = 0x0009;
inline constexpr LNITEMTYPE TYPE_SEALDATA = 0x000A;
inline constexpr LNITEMTYPE TYPE_SEAL_LIST = 0x000B;
inline constexpr LNITEMTYPE TYPE_HIGHLIGHTS = 0x000C;
inline constexpr LNITEMTYPE TYPE_USERDATA = 0x000E;
inline constexpr LNITEMTYPE TYPE_QUERY = 0x000F;
inline constexpr LNITEMTYPE TYPE_ACTION = 0x0010;
inline constexpr LNITEMTYPE TYPE_HTML = 0x0015;
inline constexpr LNITEMTYPE TYPE_CALENDAR_FORMAT = 0x0017;
inline constexpr LNITEMTYPE TYPE_MIME_PART = 0x0019;
inline constexpr LNITEMTYPE TYPE_ERROR = 0x0100;
inline constexpr LNITEMTYPE TYPE_UNAVAILABLE = 0x0200;
inline constexpr LNITEMTYPE TYPE_NUMBER = 0x0300;
inline constexpr LNITEMTYPE TYPE_NUMBER_RANGE = 0x0301;
inline constexpr LNITEMTYPE TYPE_TIME = 0x0400;
inline constexpr LNITEMTYPE TYPE_TIME_RANGE = 0x0401;
inline constexpr LNITEMTYPE TYPE_TEXT = 0x0500;
inline constexpr LNITEMTYPE TYPE_TEXT_LIST = 0x0501;
inline constexpr LNITEMTYPE TYPE_RFC822_TEXT = 0x0502;
inline constexpr LNITEMTYPE TYPE_FORMULA = 0x0600;
inline constexpr LNITEMTYPE TYPE_USERID = 0x0700;

using LNITEMFLAGS = WORD;
inline constexpr LNITEMFLAGS LNITEMFLAGS_SIGN = 0x0001;
inline constexpr LNITEMFLAGS LNITEMFLAGS_SEAL = 0x0002;  // encrypted
inline constexpr LNITEMFLAGS LNITEMFLAGS_SUMMARY = 0x0004;
inline constexpr LNITEMFLAGS LNITEMFLAGS_READWRITERS = 0x0020;  // authors
inline constexpr LNITEMFLAGS LNITEMFLAGS_NAMES = 0x0040;
inline constexpr LNITEMFLAGS LNITEMFLAGS_PROTECTED = 0x0200;
inline constexpr LNITEMFLAGS LNITEMFLAGS_READERS = 0x0400;

// Note classes (LNSearchOptions::SetNoteType takes these and the design
// selectors below).
using LNNOTECLASS = WORD;
inline constexpr LNNOTECLASS NOTE_CLASS_DOCUMENT = 0x0001;
inline constexpr LNNOTECLASS NOTE_CLASS_INFO = 0x0002;
inline constexpr LNNOTECLASS NOTE_CLASS_FORM = 0x0004;
inline constexpr LNNOTECLASS NOTE_CLASS_VIEW = 0x0008;
inline constexpr LNNOTECLASS NOTE_CLASS_ICON = 0x0010;
inline constexpr LNNOTECLASS NOTE_CLASS_DESIGN = 0x0020;
inline constexpr LNNOTECLASS NOTE_CLASS_ACL = 0x0040;
inline constexpr LNNOTECLASS NOTE_CLASS_HELP_INDEX = 0x0080;
inline constexpr LNNOTECLASS NOTE_CLASS_HELP = 0x0100;
inline constexpr LNNOTECLASS NOTE_CLASS_FILTER = 0x0200;
inline constexpr LNNOTECLASS NOTE_CLASS_FIELD = 0x0400;
inline constexpr LNNOTECLASS NOTE_CLASS_REPLFORMULA = 0x0800;
inline constexpr LNNOTECLASS NOTE_CLASS_PRIVATE = 0x1000;
inline constexpr LNNOTECLASS NOTE_CLASS_ALL = 0x7FFF;
