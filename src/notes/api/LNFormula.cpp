#include "notes/api/LNFormula.h"

#include "notes/api/LNGlobal.h"
#include "notes/api/formula/FormulaStatus.h"

using namespace qb::notes;

namespace {

FormulaCompileError NotCompiled() {
    return {kFormulaErrNotCompiled, FormulaStatusText(kFormulaErrNotCompiled), 0, 0};
}

}  // namespace

LNSTATUS LNFormula::Init() {
    text_.clear();
    compiled_.reset();
    error_ = NotCompiled();
    return 0;
}

LNSTATUS LNFormula::SetText(std::string_view text) {
    text_ = std::string(text);
    FormulaCompileError error;
    compiled_ = CompiledFormula::Compile(text, error);
    error_ = std::move(error);
    // The error text names what and where; LNGetErrorMessageText gives it.
    if (error_.status != 0) RecordFailure(error_.status, error_.text);
    return error_.status;
}

FormulaResult LNFormula::Evaluate(const FormulaDocument& document) const {
    if (!compiled_) {
        FormulaResult result;
        result.status = kFormulaErrNotCompiled;
        result.errorText = FormulaStatusText(kFormulaErrNotCompiled);
        return result;
    }
    return compiled_->Evaluate(document);
}
