#pragma once
// LNFormula: a Notes formula as the class library presents it. SetText
// compiles the text; a non-zero status means the text is not a formula of
// the supported language, and GetErrorText says what and where.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "notes/api/formula/CompiledFormula.h"
#include "notes/api/formula/FormulaStatus.h"

using LNSTATUS = std::uint32_t;

class LNFormula {
public:
    LNFormula() = default;
    // Compiles `text`; check IsCompiled or GetCompileStatus.
    explicit LNFormula(std::string_view text) { SetText(text); }

    // Back to the empty, uncompiled state.
    LNSTATUS Init();
    // Same as SetText.
    LNSTATUS Init(std::string_view text) { return SetText(text); }
    // Compiles the text: 0, or a kFormulaErr* status from FormulaStatus.h.
    LNSTATUS SetText(std::string_view text);

    const std::string& GetText() const { return text_; }
    bool IsCompiled() const { return compiled_ != nullptr; }
    // The status of the last SetText (kFormulaErrNotCompiled before any).
    LNSTATUS GetCompileStatus() const { return error_.status; }
    // The full compile error text with its line and column; empty after success.
    const std::string& GetErrorText() const { return error_.text; }
    const qb::notes::FormulaCompileError& GetCompileError() const { return error_; }

    // Evaluation against one note; an uncompiled formula gives
    // kFormulaErrNotCompiled and selects nothing.
    qb::notes::FormulaResult Evaluate(const qb::notes::FormulaDocument& document) const;
    bool Selects(const qb::notes::FormulaDocument& document) const { return Evaluate(document).IsTrue(); }
    // The compiled form, shared by copies of this formula (immutable).
    std::shared_ptr<const qb::notes::CompiledFormula> GetCompiled() const { return compiled_; }

private:
    std::string text_;
    std::shared_ptr<const qb::notes::CompiledFormula> compiled_;
    qb::notes::FormulaCompileError error_{qb::notes::kFormulaErrNotCompiled, "Formula has not been compiled", 0, 0};
};
