#pragma once
// Status codes of the formula compiler and evaluator. They lie in the Notes
// formula package (0x0500) so that the database layer's error texts can
// answer for them like for any other Notes status.

#include <cstdint>

namespace qb::notes {

inline constexpr std::uint32_t kFormulaNoError = 0;
inline constexpr std::uint32_t kFormulaErrSyntax = 0x0501;
inline constexpr std::uint32_t kFormulaErrUnknownFunction = 0x0502;
inline constexpr std::uint32_t kFormulaErrUnsupported = 0x0503;
inline constexpr std::uint32_t kFormulaErrUnterminatedString = 0x0504;
inline constexpr std::uint32_t kFormulaErrArgumentCount = 0x0505;
inline constexpr std::uint32_t kFormulaErrDataType = 0x0506;
inline constexpr std::uint32_t kFormulaErrEmpty = 0x0507;
inline constexpr std::uint32_t kFormulaErrTooComplex = 0x0508;
inline constexpr std::uint32_t kFormulaErrNotCompiled = 0x0509;

// The fixed text of a formula status, or nullptr for a status that is not
// one of the above.
const char* FormulaStatusText(std::uint32_t status);

}  // namespace qb::notes
