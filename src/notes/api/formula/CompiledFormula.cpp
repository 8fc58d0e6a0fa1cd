#include "notes/api/formula/CompiledFormula.h"

#include <fmt/format.h>

#include "notes/api/formula/FormulaEvaluator.h"
#include "notes/api/formula/FormulaParser.h"
#include "notes/api/formula/FormulaStatus.h"

namespace qb::notes {

bool FormulaResult::IsTrue() const {
    return status == 0 && value.type() == FormulaValueType::Number && value.numbers().front() != 0;
}

CompiledFormula::CompiledFormula(std::string text, std::unique_ptr<formula::Node> root)
    : text_(std::move(text)), root_(std::move(root)) {}

CompiledFormula::~CompiledFormula() = default;

std::unique_ptr<CompiledFormula> CompiledFormula::Compile(std::string_view text, FormulaCompileError& error) {
    formula::ParseError parseError;
    std::unique_ptr<formula::Node> root = formula::ParseFormula(text, parseError);
    if (!root) {
        error.status = parseError.status;
        error.line = parseError.line;
        error.column = parseError.column;
        const char* statusText = FormulaStatusText(parseError.status);
        error.text = fmt::format("{}: {} (line {}, column {})", statusText ? statusText : "Formula error",
                                 parseError.message, parseError.line, parseError.column);
        return nullptr;
    }
    error = FormulaCompileError();
    return std::unique_ptr<CompiledFormula>(new CompiledFormula(std::string(text), std::move(root)));
}

FormulaResult CompiledFormula::Evaluate(const FormulaDocument& document) const {
    return formula::EvaluateFormula(*root_, document);
}

}  // namespace qb::notes
