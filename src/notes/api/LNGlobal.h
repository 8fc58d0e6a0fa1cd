#pragma once
// Basic types, status codes and error switching of the Notes interface.
//
// The Notes classes keep the names of the Notes C++ library and live in the
// global namespace as that library's do; everything behind them is in
// qb::notes. Every operation returns an LNSTATUS (0 is success). While
// LNSetThrowAllErrorsGlobal(true) is in force, a non-zero status is thrown as
// an LNStatusError instead of being returned. The warnings LNWARN_NOT_FOUND
// and LNWARN_TOO_MUCH_TEXT are answers, not failures: they are always returned.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

using LNSTATUS = std::uint32_t;
using LNBOOL = bool;
using LNINT = std::int32_t;
using LNString = std::string;  // UTF-8
using LNChar = char;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using NOTEID = std::uint32_t;

inline constexpr LNSTATUS LNNOERROR = 0;

// Statuses with fixed numbers that callers test for.
inline constexpr LNSTATUS LNWARN_NOT_FOUND = 0xD0000132;      // search matched nothing
inline constexpr LNSTATUS LNWARN_TOO_MUCH_TEXT = 0xD000014A;  // more text follows

// Statuses of this layer.
inline constexpr LNSTATUS LNERR_NOT_INITIALIZED = 0xD0000201;
inline constexpr LNSTATUS LNERR_THREAD_NOT_INITIALIZED = 0xD0000202;
inline constexpr LNSTATUS LNERR_INVALID_PARAMETER = 0xD0000203;
inline constexpr LNSTATUS LNERR_FILE_NOT_FOUND = 0xD0000204;
inline constexpr LNSTATUS LNERR_FILE_READ = 0xD0000205;
inline constexpr LNSTATUS LNERR_FILE_WRITE = 0xD0000206;
inline constexpr LNSTATUS LNERR_SERVER_NOT_REACHABLE = 0xD0000207;
inline constexpr LNSTATUS LNERR_NATIVE_NSF = 0xD0000208;
inline constexpr LNSTATUS LNERR_BAD_DXL = 0xD0000209;
inline constexpr LNSTATUS LNERR_DATABASE_NOT_OPEN = 0xD000020A;
inline constexpr LNSTATUS LNERR_NOTE_NOT_OPEN = 0xD000020B;
inline constexpr LNSTATUS LNERR_NOTE_NOT_FOUND = 0xD000020C;
inline constexpr LNSTATUS LNERR_ITEM_NOT_FOUND = 0xD000020D;
inline constexpr LNSTATUS LNERR_WRONG_ITEM_TYPE = 0xD000020E;
inline constexpr LNSTATUS LNERR_INDEX_OUT_OF_RANGE = 0xD000020F;
inline constexpr LNSTATUS LNERR_VIEW_NOT_FOUND = 0xD0000210;
inline constexpr LNSTATUS LNERR_FORMULA_COMPILE = 0xD0000211;
inline constexpr LNSTATUS LNERR_FORMULA_EVALUATE = 0xD0000212;
inline constexpr LNSTATUS LNERR_BAD_BASE64 = 0xD0000213;
inline constexpr LNSTATUS LNERR_BAD_ITEM_VALUE = 0xD0000214;
inline constexpr LNSTATUS LNERR_CANNOT_DECRYPT = 0xD0000215;
inline constexpr LNSTATUS LNERR_DATABASE_EXISTS = 0xD0000216;
inline constexpr LNSTATUS LNERR_READ_ONLY_DATABASE = 0xD0000217;
inline constexpr LNSTATUS LNERR_UNSUPPORTED = 0xD0000218;
inline constexpr LNSTATUS LNERR_BAD_DATETIME = 0xD0000219;
inline constexpr LNSTATUS LNERR_ATTACHMENT_NOT_FOUND = 0xD000021A;
inline constexpr LNSTATUS LNERR_DIRECTORY_NOT_FOUND = 0xD000021B;
inline constexpr LNSTATUS LNERR_NO_GRAPHIC = 0xD000021C;      // picture export of a range without one
inline constexpr LNSTATUS LNERR_BAD_IMAGE = 0xD000021D;       // picture data that cannot be decoded
inline constexpr LNSTATUS LNERR_EXPORT_FORMAT = 0xD000021E;   // no export filter for the file name
inline constexpr LNSTATUS LNERR_EXPORT_WRITE = 0xD000021F;    // the export file cannot be written

// A non-zero status raised while throwing is switched on.
class LNStatusError : public std::exception {
public:
    explicit LNStatusError(LNSTATUS status);
    LNSTATUS GetStatus() const { return status_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    LNSTATUS status_;
    std::string text_;
};

// Process-wide switch: when true, failing operations throw LNStatusError.
void LNSetThrowAllErrorsGlobal(LNBOOL throwErrors);
LNBOOL LNGetThrowAllErrorsGlobal();

// The text of a status into buffer (at most bufferSize - 1 bytes and a zero);
// returns the length written. The last failure of this thread with the same
// status adds its detail (file, line and column, item name, ...).
std::size_t LNGetErrorMessageText(LNSTATUS status, char* buffer, std::size_t bufferSize, int options = 0);
LNString LNGetErrorMessageText(LNSTATUS status);

// Case-sensitive comparison with option 0, case-insensitive with option 1:
// negative, zero or positive as strcmp.
int LNStringCompare(const LNString& a, const LNString& b, int options = 0);

namespace qb::notes {

// Records the detail of a failure for LNGetErrorMessageText and returns the
// status, or throws it when throwing is switched on. Every public operation
// ends its failure paths here.
LNSTATUS Fail(LNSTATUS status, std::string_view detail = {});
// Records the detail without ever throwing (for operations whose status the
// caller is meant to test).
void RecordFailure(LNSTATUS status, std::string_view detail);
// Raises a status that came back from an inner call, without new detail.
LNSTATUS Raise(LNSTATUS status);

}  // namespace qb::notes
