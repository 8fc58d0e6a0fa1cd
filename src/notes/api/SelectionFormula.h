#pragma once
// Formula evaluation over the database's notes: the formula engine sees a
// note through FormulaDocument; this adapter gives it a note's summary items
// (what a Notes search sees), or a whole note.

#include <memory>
#include <string>

#include "notes/api/NoteData.h"
#include "notes/api/formula/CompiledFormula.h"
#include "notes/api/formula/FormulaDocument.h"

namespace qb::notes {

// One stored item as a formula value.
FormulaValue ItemToFormulaValue(LNITEMTYPE type, std::string_view value);

class SummaryFormulaDocument : public FormulaDocument {
public:
    explicit SummaryFormulaDocument(const SummaryBuffer& summary) : summary_(summary) {}
    bool HasItem(std::string_view name) const override;
    FormulaValue ItemValue(std::string_view name) const override;
    bool IsResponse() const override { return HasItem("$REF"); }

private:
    const SummaryBuffer& summary_;
};

class NoteFormulaDocument : public FormulaDocument {
public:
    explicit NoteFormulaDocument(const NoteData& note) : note_(note) {}
    bool HasItem(std::string_view name) const override { return note_.FindItem(name) != nullptr; }
    FormulaValue ItemValue(std::string_view name) const override;
    bool IsResponse() const override { return HasItem("$REF"); }

private:
    const NoteData& note_;
};

}  // namespace qb::notes
