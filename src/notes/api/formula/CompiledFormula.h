#pragma once
// A compiled formula, evaluated against one note at a time. Compiling either
// gives a formula or an error with status, text and position; a compiled
// formula never matches silently on something it does not understand.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "notes/api/formula/FormulaDocument.h"

namespace qb::notes {

namespace formula { struct Node; }

struct FormulaCompileError {
    std::uint32_t status = 0;  // one of the kFormulaErr* codes
    std::string text;          // full message, e.g. "Unknown or unsupported @Function: @Now (line 1, column 3)"
    int line = 0;              // from 1
    int column = 0;            // from 1
};

struct FormulaResult {
    std::uint32_t status = 0;  // 0, or kFormulaErrDataType when the note's values do not fit
    std::string errorText;
    FormulaValue value;
    // True when the evaluation succeeded and its first element is a non-zero number.
    bool IsTrue() const;
};

class CompiledFormula {
public:
    // nullptr with `error` filled when the text is not a formula of the
    // supported language.
    static std::unique_ptr<CompiledFormula> Compile(std::string_view text, FormulaCompileError& error);
    ~CompiledFormula();

    const std::string& text() const { return text_; }
    FormulaResult Evaluate(const FormulaDocument& document) const;
    // Whether a search with this formula selects the note. A note whose
    // evaluation fails (a data type error) is not selected, as in Notes.
    bool Selects(const FormulaDocument& document) const { return Evaluate(document).IsTrue(); }

private:
    CompiledFormula(std::string text, std::unique_ptr<formula::Node> root);
    std::string text_;
    std::unique_ptr<formula::Node> root_;
};

}  // namespace qb::notes
