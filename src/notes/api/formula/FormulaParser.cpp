#include "notes/api/formula/FormulaParser.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "notes/api/formula/FormulaLexer.h"
#include "notes/api/formula/FormulaStatus.h"
#include "text/TextCase.h"

namespace qb::notes::formula {
namespace {

using text::EqualsIgnoreCase;

struct FunctionSpec {
    std::string_view name;
    FunctionId id;
    int arguments;
};

constexpr FunctionSpec kFunctions[] = {
    {"All", FunctionId::All, 0},
    {"True", FunctionId::True, 0},
    {"False", FunctionId::False, 0},
    {"IsResponseDoc", FunctionId::IsResponseDoc, 0},
    {"IsAvailable", FunctionId::IsAvailable, 1},
    {"IsUnavailable", FunctionId::IsUnavailable, 1},
    {"IsMember", FunctionId::IsMember, 2},
    {"IsNotMember", FunctionId::IsNotMember, 2},
    {"Contains", FunctionId::Contains, 2},
    {"Begins", FunctionId::Begins, 2},
    {"Ends", FunctionId::Ends, 2},
    {"LowerCase", FunctionId::LowerCase, 1},
    {"UpperCase", FunctionId::UpperCase, 1},
};

struct CompareSpec {
    std::string_view text;
    CompareOp op;
    bool permuted;
};

constexpr CompareSpec kCompareOps[] = {
    {"=", CompareOp::Equal, false},      {"!=", CompareOp::NotEqual, false},
    {"<>", CompareOp::NotEqual, false},  {"=!", CompareOp::NotEqual, false},
    {"><", CompareOp::NotEqual, false},  {"<", CompareOp::Less, false},
    {">", CompareOp::Greater, false},    {"<=", CompareOp::LessEqual, false},
    {">=", CompareOp::GreaterEqual, false},
    {"*=", CompareOp::Equal, true},      {"*!=", CompareOp::NotEqual, true},
    {"*<", CompareOp::Less, true},       {"*>", CompareOp::Greater, true},
    {"*<=", CompareOp::LessEqual, true}, {"*>=", CompareOp::GreaterEqual, true},
};

constexpr std::string_view kUnsupportedKeywords[] = {"FIELD", "DEFAULT", "ENVIRONMENT", "REM"};

// Thrown inside the parser only; ParseFormula turns it into a ParseError.
struct Failure {
    ParseError error;
};

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::unique_ptr<Node> Formula() {
        if (Peek().kind == TokenKind::Name && EqualsIgnoreCase(Peek().text, "SELECT")) {
            ++pos_;
            if (Peek().kind == TokenKind::End) Fail(kFormulaErrSyntax, "SELECT needs a condition", Peek());
        } else if (Peek().kind == TokenKind::End) {
            Fail(kFormulaErrEmpty, "the formula has no statement", Peek());
        }
        std::unique_ptr<Node> root = Logical();
        if (Peek().kind == TokenKind::Semicolon) {
            ++pos_;
            if (Peek().kind != TokenKind::End)
                Fail(kFormulaErrUnsupported, "only one statement is supported; found more after ';'", Peek());
        }
        if (Peek().kind != TokenKind::End) Unexpected(Peek());
        return root;
    }

private:
    const Token& Peek() const { return tokens_[pos_]; }
    const Token& Take() { return tokens_[pos_++]; }
    bool PeekOperator(std::string_view op) const {
        return Peek().kind == TokenKind::Operator && Peek().text == op;
    }

    [[noreturn]] void Fail(std::uint32_t status, std::string message, const Token& at) {
        throw Failure{{status, std::move(message), at.line, at.column}};
    }

    [[noreturn]] void Unexpected(const Token& token) {
        switch (token.kind) {
        case TokenKind::End: Fail(kFormulaErrSyntax, "unexpected end of formula", token);
        case TokenKind::Operator:
            if (token.text == ":=")
                Fail(kFormulaErrUnsupported, "assignment ':=' is not supported", token);
            if (token.text == "[" || token.text == "]")
                Fail(kFormulaErrUnsupported, "date/time constants '[...]' are not supported", token);
            if (IsArithmetic(token.text))
                Fail(kFormulaErrUnsupported, "arithmetic operator '" + token.text + "' is not supported", token);
            Fail(kFormulaErrSyntax, "unexpected operator '" + token.text + "'", token);
        case TokenKind::Semicolon: Fail(kFormulaErrSyntax, "unexpected ';'", token);
        case TokenKind::RightParen: Fail(kFormulaErrSyntax, "unexpected ')'", token);
        default: Fail(kFormulaErrSyntax, "unexpected '" + token.text + "'", token);
        }
    }

    static bool IsArithmetic(std::string_view op) {
        for (std::string_view a : {"+", "-", "*", "/", "**", "*+", "*-", "*/"})
            if (op == a) return true;
        return false;
    }

    static std::unique_ptr<Node> Make(NodeKind kind) {
        auto node = std::make_unique<Node>();
        node->kind = kind;
        return node;
    }

    void Adopt(Node& parent, std::unique_ptr<Node> child, const Token& at) {
        parent.depth = std::max(parent.depth, child->depth + 1);
        if (parent.depth > kMaxFormulaDepth)
            Fail(kFormulaErrTooComplex, "the formula nests too deeply", at);
        parent.children.push_back(std::move(child));
    }

    std::unique_ptr<Node> Logical() {
        std::unique_ptr<Node> left = Negation();
        while (PeekOperator("&") || PeekOperator("|")) {
            const Token& op = Take();
            const NodeKind kind = op.text == "&" ? NodeKind::And : NodeKind::Or;
            // A run of the same operator is one node, so long chains stay shallow.
            if (left->kind != kind) {
                auto node = Make(kind);
                Adopt(*node, std::move(left), op);
                left = std::move(node);
            }
            Adopt(*left, Negation(), op);
        }
        return left;
    }

    std::unique_ptr<Node> Negation() {
        if (PeekOperator("!")) {
            const Token& op = Take();
            Enter(op);
            auto node = Make(NodeKind::Not);
            Adopt(*node, Negation(), op);
            Leave();
            return node;
        }
        return Comparison();
    }

    const CompareSpec* PeekCompare() const {
        if (Peek().kind != TokenKind::Operator) return nullptr;
        for (const CompareSpec& spec : kCompareOps)
            if (Peek().text == spec.text) return &spec;
        return nullptr;
    }

    std::unique_ptr<Node> Comparison() {
        std::unique_ptr<Node> left = List();
        while (const CompareSpec* spec = PeekCompare()) {
            const Token& op = Take();
            auto node = Make(NodeKind::Compare);
            node->compare = spec->op;
            node->permuted = spec->permuted;
            Adopt(*node, std::move(left), op);
            Adopt(*node, List(), op);
            left = std::move(node);
        }
        return left;
    }

    std::unique_ptr<Node> List() {
        std::unique_ptr<Node> first = Unary();
        if (!PeekOperator(":")) return first;
        auto node = Make(NodeKind::List);
        Adopt(*node, std::move(first), Peek());
        while (PeekOperator(":")) {
            const Token& op = Take();
            Adopt(*node, Unary(), op);
        }
        return FoldConstantList(std::move(node));
    }

    // A list of constants of one type becomes one constant; a mixed one is
    // refused here rather than failing for every note.
    std::unique_ptr<Node> FoldConstantList(std::unique_ptr<Node> list) {
        for (const auto& child : list->children)
            if (child->kind != NodeKind::Constant) return list;
        FormulaValue value = list->children.front()->constant;
        for (std::size_t i = 1; i < list->children.size(); ++i) {
            const FormulaValue& next = list->children[i]->constant;
            if (next.type() != value.type())
                Fail(kFormulaErrDataType, "a list must not mix text and numbers", tokens_[pos_ - 1]);
            value.Append(next);
        }
        auto folded = std::make_unique<Node>();
        folded->constant = std::move(value);
        return folded;
    }

    std::unique_ptr<Node> Unary() {
        if (PeekOperator("-") || PeekOperator("+")) {
            const Token& op = Take();
            Enter(op);
            std::unique_ptr<Node> operand = Unary();
            Leave();
            if (op.text == "+") return operand;
            if (operand->kind == NodeKind::Constant && operand->constant.type() == FormulaValueType::Number) {
                std::vector<double> numbers = operand->constant.numbers();
                for (double& n : numbers) n = -n;
                operand->constant = FormulaValue::NumberList(std::move(numbers));
                return operand;
            }
            auto node = Make(NodeKind::Negate);
            Adopt(*node, std::move(operand), op);
            return node;
        }
        return Primary();
    }

    std::unique_ptr<Node> Primary() {
        const Token& token = Peek();
        switch (token.kind) {
        case TokenKind::String: {
            ++pos_;
            auto node = Make(NodeKind::Constant);
            node->constant = FormulaValue::Text(token.text);
            return node;
        }
        case TokenKind::Number: {
            ++pos_;
            auto node = Make(NodeKind::Constant);
            node->constant = FormulaValue::Number(token.number);
            return node;
        }
        case TokenKind::Name: return ItemName();
        case TokenKind::AtFunction: return Function();
        case TokenKind::LeftParen: {
            ++pos_;
            Enter(token);
            std::unique_ptr<Node> inner = Logical();
            Leave();
            Expect(TokenKind::RightParen, "')'");
            return inner;
        }
        default: Unexpected(token);
        }
    }

    std::unique_ptr<Node> ItemName() {
        const Token& token = Take();
        for (std::string_view keyword : kUnsupportedKeywords)
            if (EqualsIgnoreCase(token.text, keyword))
                Fail(kFormulaErrUnsupported, "keyword " + std::string(keyword) + " is not supported", token);
        if (EqualsIgnoreCase(token.text, "SELECT"))
            Fail(kFormulaErrSyntax, "SELECT must begin the formula", token);
        auto node = Make(NodeKind::Item);
        node->name = token.text;
        return node;
    }

    std::unique_ptr<Node> Function() {
        const Token& token = Take();
        const FunctionSpec* spec = nullptr;
        for (const FunctionSpec& candidate : kFunctions)
            if (EqualsIgnoreCase(token.text, candidate.name)) spec = &candidate;
        if (spec == nullptr)
            Fail(kFormulaErrUnknownFunction, "@" + token.text, token);
        auto node = Make(NodeKind::Function);
        node->function = spec->id;
        Enter(token);
        if (Peek().kind == TokenKind::LeftParen) {
            ++pos_;
            if (Peek().kind != TokenKind::RightParen) {
                Adopt(*node, Argument(*spec), token);
                while (Peek().kind == TokenKind::Semicolon) {
                    ++pos_;
                    Adopt(*node, Argument(*spec), token);
                }
            }
            Expect(TokenKind::RightParen, "')' or ';'");
        }
        Leave();
        if (static_cast<int>(node->children.size()) != spec->arguments)
            Fail(kFormulaErrArgumentCount,
                 "@" + std::string(spec->name) + " takes " + std::to_string(spec->arguments) +
                     " argument(s), found " + std::to_string(node->children.size()),
                 token);
        return node;
    }

    // @IsAvailable and @IsUnavailable name an item; they do not read it.
    std::unique_ptr<Node> Argument(const FunctionSpec& spec) {
        if (spec.id != FunctionId::IsAvailable && spec.id != FunctionId::IsUnavailable) return Logical();
        if (Peek().kind != TokenKind::Name)
            Fail(kFormulaErrSyntax, "@" + std::string(spec.name) + " needs an item name", Peek());
        return ItemName();
    }

    void Expect(TokenKind kind, const char* what) {
        if (Peek().kind != kind) {
            if (Peek().kind == TokenKind::End)
                Fail(kFormulaErrSyntax, std::string("expected ") + what + " before the end of the formula", Peek());
            Fail(kFormulaErrSyntax, std::string("expected ") + what + ", found '" + Peek().text + "'", Peek());
        }
        ++pos_;
    }

    // Bounds the parser's own recursion through parentheses and prefixes.
    void Enter(const Token& at) {
        if (++nesting_ > kMaxFormulaDepth) Fail(kFormulaErrTooComplex, "the formula nests too deeply", at);
    }
    void Leave() { --nesting_; }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    int nesting_ = 0;
};

}  // namespace

std::unique_ptr<Node> ParseFormula(std::string_view text, ParseError& error) {
    std::vector<Token> tokens;
    LexError lexError;
    if (!Tokenize(text, tokens, lexError)) {
        error = {lexError.status, lexError.message, lexError.line, lexError.column};
        return nullptr;
    }
    try {
        return Parser(std::move(tokens)).Formula();
    } catch (const Failure& failure) {
        error = failure.error;
        return nullptr;
    }
}

}  // namespace qb::notes::formula
