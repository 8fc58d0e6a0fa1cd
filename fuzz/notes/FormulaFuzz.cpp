// Feeds arbitrary text to the formula compiler and evaluates what compiles
// against a note with items of every value type. A compile must either
// succeed or give a status with a text and a position; evaluation must end
// with a value or a data type error.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "notes/api/LNFormula.h"
#include "notes/api/formula/FormulaStatus.h"
#include "notes/api/formula/MapFormulaDocument.h"

namespace {

const qb::notes::MapFormulaDocument& SampleNote() {
    static const qb::notes::MapFormulaDocument note = [] {
        using qb::notes::FormulaValue;
        qb::notes::MapFormulaDocument doc;
        doc.SetText("Form", "Task");
        doc.Set("SendTo", FormulaValue::TextList({"A B/Org", "c@example.com", ""}));
        doc.Set("Priority", FormulaValue::NumberList({1, 2.5, -3}));
        doc.Set("CalendarDateTime", FormulaValue::DatetimeList({{0}, {-100}, {1234567}}));
        doc.SetText("Subject", "\xc3\x84rger \xff");
        doc.SetResponse(true);
        return doc;
    }();
    return note;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    LNFormula formula;
    const LNSTATUS status = formula.SetText(text);
    if (status != 0) {
        if (formula.IsCompiled() || formula.GetErrorText().empty() || formula.GetCompileError().line < 1 ||
            qb::notes::FormulaStatusText(status) == nullptr)
            std::abort();
        return 0;
    }
    const qb::notes::FormulaResult result = formula.Evaluate(SampleNote());
    if (result.status != 0 && result.status != qb::notes::kFormulaErrDataType) std::abort();
    if (result.value.size() == 0) std::abort();
    return 0;
}
