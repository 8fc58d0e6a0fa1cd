#include "notes/api/SelectionFormula.h"

#include <cctype>

namespace qb::notes {

struct SelectionFormula::State {
    bool all = false;
};

SelectionFormula::SelectionFormula() : state_(std::make_unique<State>()) {}
SelectionFormula::~SelectionFormula() = default;
SelectionFormula::SelectionFormula(SelectionFormula&&) noexcept = default;
SelectionFormula& SelectionFormula::operator=(SelectionFormula&&) noexcept = default;

LNSTATUS SelectionFormula::Compile(const std::string& text, std::string* error) {
    std::string compact;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) compact.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (compact.rfind("SELECT", 0) == 0) compact.erase(0, 6);
    if (compact == "@ALL" || compact == "@TRUE") {
        state_->all = true;
        return LNNOERROR;
    }
    *error = "formula not supported: " + text;
    return LNERR_FORMULA_COMPILE;
}

bool SelectionFormula::Selects(const NoteIndexEntry&) const { return state_->all; }

}  // namespace qb::notes
