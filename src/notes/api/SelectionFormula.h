#pragma once
// A compiled search or view selection formula, evaluated over a note's
// summary items.

#include <memory>
#include <string>

#include "notes/api/LNGlobal.h"
#include "notes/api/NoteData.h"

namespace qb::notes {

class SelectionFormula {
public:
    SelectionFormula();
    ~SelectionFormula();
    SelectionFormula(SelectionFormula&&) noexcept;
    SelectionFormula& operator=(SelectionFormula&&) noexcept;

    // 0 or a compile status with its text in *error.
    LNSTATUS Compile(const std::string& text, std::string* error);
    bool Selects(const NoteIndexEntry& note) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qb::notes
