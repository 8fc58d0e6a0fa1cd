#pragma once
// Evaluates a node tree against one note.

#include "notes/api/formula/CompiledFormula.h"
#include "notes/api/formula/FormulaAst.h"

namespace qb::notes::formula {

FormulaResult EvaluateFormula(const Node& root, const FormulaDocument& document);

}  // namespace qb::notes::formula
