#include "notes/api/formula/FormulaEvaluator.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "notes/api/formula/FormulaStatus.h"
#include "notes/api/formula/NotesCollation.h"

namespace qb::notes::formula {
namespace {

// Raised for a value of the wrong type; ends the evaluation of this note.
struct DataTypeError {
    std::string text;
};

const char* TypeName(FormulaValueType type) {
    switch (type) {
    case FormulaValueType::Text: return "Text";
    case FormulaValueType::Number: return "Number";
    case FormulaValueType::Datetime: return "Time/Date";
    }
    return "?";
}

[[noreturn]] void Expected(FormulaValueType type) {
    throw DataTypeError{std::string(FormulaStatusText(kFormulaErrDataType)) + ": " + TypeName(type) +
                        " expected"};
}

void Require(const FormulaValue& value, FormulaValueType type) {
    if (value.type() != type) Expected(type);
}

FormulaValue Boolean(bool value) { return FormulaValue::Number(value ? 1 : 0); }

// The operands of & | ! are numbers; a list counts by its first element.
bool Truth(const FormulaValue& value) {
    Require(value, FormulaValueType::Number);
    return value.numbers().front() != 0;
}

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareElements(const FormulaValue& left, std::size_t i, const FormulaValue& right, std::size_t j) {
    switch (left.type()) {
    case FormulaValueType::Text: return CompareNotesText(left.texts()[i], right.texts()[j]);
    case FormulaValueType::Number: return Order(left.numbers()[i], right.numbers()[j]);
    case FormulaValueType::Datetime: return Order(left.datetimes()[i], right.datetimes()[j]);
    }
    return 0;
}

bool Holds(CompareOp op, int order) {
    switch (op) {
    case CompareOp::Equal: return order == 0;
    case CompareOp::NotEqual: return order != 0;
    case CompareOp::Less: return order < 0;
    case CompareOp::Greater: return order > 0;
    case CompareOp::LessEqual: return order <= 0;
    case CompareOp::GreaterEqual: return order >= 0;
    }
    return false;
}

// Pair-wise: element i with element i, the shorter list repeating its last
// element; permuted: every element with every element. Either way the
// comparison is true when any pair satisfies it.
bool IsNullText(const FormulaValue& value) {
    return value.type() == FormulaValueType::Text && value.size() == 1 && value.texts().front().empty();
}

bool CompareValues(const FormulaValue& left, const FormulaValue& right, CompareOp op, bool permuted) {
    if (left.type() != right.type()) {
        // The empty text stands for "no value" (Notes saves a blank date or
        // number field as ""), so `DeliveredDate = ""` tests for emptiness
        // whatever the item's type. A number or time is never empty.
        if ((op == CompareOp::Equal || op == CompareOp::NotEqual) && (IsNullText(left) || IsNullText(right)))
            return op == CompareOp::NotEqual;
        Expected(left.type());
    }
    const std::size_t ls = left.size(), rs = right.size();
    if (permuted) {
        for (std::size_t i = 0; i < ls; ++i)
            for (std::size_t j = 0; j < rs; ++j)
                if (Holds(op, CompareElements(left, i, right, j))) return true;
        return false;
    }
    const std::size_t n = std::max(ls, rs);
    for (std::size_t k = 0; k < n; ++k)
        if (Holds(op, CompareElements(left, std::min(k, ls - 1), right, std::min(k, rs - 1)))) return true;
    return false;
}

bool IsMemberOf(const std::string& text, const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

template <typename Test>
bool AnyPair(const FormulaValue& strings, const FormulaValue& parts, Test test) {
    Require(strings, FormulaValueType::Text);
    Require(parts, FormulaValueType::Text);
    for (const std::string& s : strings.texts())
        for (const std::string& part : parts.texts())
            if (test(s, part)) return true;
    return false;
}

class Evaluator {
public:
    explicit Evaluator(const FormulaDocument& document) : document_(document) {}

    FormulaValue Eval(const Node& node) {
        switch (node.kind) {
        case NodeKind::Constant: return node.constant;
        case NodeKind::Item:
            return document_.HasItem(node.name) ? document_.ItemValue(node.name) : FormulaValue::Text("");
        case NodeKind::List: return List(node);
        case NodeKind::Negate: return Negate(Eval(*node.children[0]));
        case NodeKind::Not: return Boolean(!Truth(Eval(*node.children[0])));
        case NodeKind::And: return Logical(node, true);
        case NodeKind::Or: return Logical(node, false);
        case NodeKind::Compare:
            return Boolean(CompareValues(Eval(*node.children[0]), Eval(*node.children[1]), node.compare,
                                         node.permuted));
        case NodeKind::Function: return Function(node);
        }
        return FormulaValue();
    }

private:
    FormulaValue List(const Node& node) {
        FormulaValue result = Eval(*node.children[0]);
        for (std::size_t i = 1; i < node.children.size(); ++i) {
            FormulaValue next = Eval(*node.children[i]);
            if (next.type() != result.type()) Expected(result.type());
            result.Append(next);
        }
        return result;
    }

    static FormulaValue Negate(const FormulaValue& value) {
        Require(value, FormulaValueType::Number);
        std::vector<double> numbers = value.numbers();
        for (double& n : numbers) n = -n;
        return FormulaValue::NumberList(std::move(numbers));
    }

    // Every operand is evaluated, so that a type error anywhere fails the
    // note and the outcome never depends on the order of the operands.
    FormulaValue Logical(const Node& node, bool isAnd) {
        bool result = isAnd;
        for (const auto& child : node.children) {
            const bool value = Truth(Eval(*child));
            result = isAnd ? (result && value) : (result || value);
        }
        return Boolean(result);
    }

    FormulaValue Function(const Node& node) {
        switch (node.function) {
        case FunctionId::All:
        case FunctionId::True: return Boolean(true);
        case FunctionId::False: return Boolean(false);
        case FunctionId::IsResponseDoc: return Boolean(document_.IsResponse());
        case FunctionId::IsAvailable: return Boolean(document_.HasItem(node.children[0]->name));
        case FunctionId::IsUnavailable: return Boolean(!document_.HasItem(node.children[0]->name));
        default: break;
        }
        const FormulaValue first = Eval(*node.children[0]);
        if (node.function == FunctionId::LowerCase || node.function == FunctionId::UpperCase)
            return MapCase(first, node.function == FunctionId::LowerCase);
        const FormulaValue second = Eval(*node.children[1]);
        switch (node.function) {
        case FunctionId::IsMember: return Boolean(Members(first, second) == first.size());
        case FunctionId::IsNotMember: return Boolean(Members(first, second) == 0);
        case FunctionId::Contains:
            return Boolean(AnyPair(first, second, [](const std::string& s, const std::string& part) {
                return s.find(part) != std::string::npos;
            }));
        case FunctionId::Begins:
            return Boolean(AnyPair(first, second, [](const std::string& s, const std::string& part) {
                return s.compare(0, part.size(), part) == 0 && s.size() >= part.size();
            }));
        case FunctionId::Ends:
            return Boolean(AnyPair(first, second, [](const std::string& s, const std::string& part) {
                return s.size() >= part.size() && s.compare(s.size() - part.size(), part.size(), part) == 0;
            }));
        default: return FormulaValue();
        }
    }

    // How many elements of `values` occur in `list` (exact, case counts).
    static std::size_t Members(const FormulaValue& values, const FormulaValue& list) {
        Require(values, FormulaValueType::Text);
        Require(list, FormulaValueType::Text);
        return static_cast<std::size_t>(std::count_if(values.texts().begin(), values.texts().end(),
                                                      [&](const std::string& t) { return IsMemberOf(t, list.texts()); }));
    }

    static FormulaValue MapCase(const FormulaValue& value, bool lower) {
        Require(value, FormulaValueType::Text);
        std::vector<std::string> mapped;
        mapped.reserve(value.size());
        for (const std::string& text : value.texts())
            mapped.push_back(lower ? NotesLowerCase(text) : NotesUpperCase(text));
        return FormulaValue::TextList(std::move(mapped));
    }

    const FormulaDocument& document_;
};

}  // namespace

FormulaResult EvaluateFormula(const Node& root, const FormulaDocument& document) {
    FormulaResult result;
    try {
        result.value = Evaluator(document).Eval(root);
    } catch (const DataTypeError& error) {
        result.status = kFormulaErrDataType;
        result.errorText = error.text;
        result.value = FormulaValue();
    }
    return result;
}

}  // namespace qb::notes::formula
