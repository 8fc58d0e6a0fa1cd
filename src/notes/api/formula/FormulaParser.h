#pragma once
// Parses formula text into a node tree. The grammar, loosest binding first:
//
//   formula    := ["SELECT"] logical [";"]
//   logical    := negation (("&" | "|") negation)*      left to right
//   negation   := "!" negation | comparison
//   comparison := list (compare-op list)*               pair-wise or permuted (*=)
//   list       := unary (":" unary)*
//   unary      := "-" unary | "+" unary | primary
//   primary    := string | number | item | @function ["(" args ")"] | "(" logical ")"
//
// Everything else of the formula language (assignment, arithmetic,
// several statements, FIELD, other @functions) is refused with its position.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "notes/api/formula/FormulaAst.h"

namespace qb::notes::formula {

struct ParseError {
    std::uint32_t status = 0;
    std::string message;  // what is wrong, with the offending token
    int line = 0;
    int column = 0;
};

// Nested levels beyond this are refused (kFormulaErrTooComplex), so that
// evaluation can recurse safely.
inline constexpr int kMaxFormulaDepth = 200;

// The tree, or nullptr with `error` filled.
std::unique_ptr<Node> ParseFormula(std::string_view text, ParseError& error);

}  // namespace qb::notes::formula
