#include "notes/api/formula/FormulaStatus.h"

namespace qb::notes {

const char* FormulaStatusText(std::uint32_t status) {
    switch (status) {
    case kFormulaErrSyntax: return "Formula syntax error";
    case kFormulaErrUnknownFunction: return "Unknown or unsupported @Function";
    case kFormulaErrUnsupported: return "Formula construct not supported";
    case kFormulaErrUnterminatedString: return "Unterminated string in formula";
    case kFormulaErrArgumentCount: return "Wrong number of arguments for @Function";
    case kFormulaErrDataType: return "Incorrect data type for operator or @Function";
    case kFormulaErrEmpty: return "Formula is empty";
    case kFormulaErrTooComplex: return "Formula is too complex";
    case kFormulaErrNotCompiled: return "Formula has not been compiled";
    default: return nullptr;
    }
}

}  // namespace qb::notes
