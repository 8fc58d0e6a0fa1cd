#include "notes/api/formula/FormulaLexer.h"

#include <charconv>

#include "notes/api/formula/FormulaStatus.h"

namespace qb::notes::formula {
namespace {

bool IsNameStart(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == '$' || u >= 0x80;
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Operators, longest first so that "*!=" wins over "*" and "!=".
constexpr std::string_view kOperators[] = {
    "*!=", "*<=", "*>=", ":=", "!=", "<>", "=!", "><", "<=", ">=", "*=", "*<", "*>",
    "**", "*+", "*-", "*/", "=", "<", ">", "&", "|", "!", ":", "+", "-", "*", "/",
    "[", "]", ",",
};

class Lexer {
public:
    Lexer(std::string_view text, std::vector<Token>& tokens, LexError& error)
        : text_(text), tokens_(tokens), error_(error) {}

    bool Run() {
        while (true) {
            SkipBlanks();
            if (pos_ >= text_.size()) {
                Push(TokenKind::End, line_, column_);
                return true;
            }
            if (!Next()) return false;
        }
    }

private:
    void SkipBlanks() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != '\v') break;
            Advance();
        }
    }

    void Advance() {
        if (text_[pos_] == '\n') {
            ++line_;
            column_ = 1;
        } else {
            ++column_;
        }
        ++pos_;
    }

    Token& Push(TokenKind kind, int line, int column) {
        Token token;
        token.kind = kind;
        token.line = line;
        token.column = column;
        tokens_.push_back(std::move(token));
        return tokens_.back();
    }

    bool Fail(std::uint32_t status, std::string message, int line, int column) {
        error_ = {status, std::move(message), line, column};
        return false;
    }

    bool Next() {
        const int line = line_, column = column_;
        const char c = text_[pos_];
        if (c == '"') return QuotedString(line, column);
        if (c == '{') return BracedString(line, column);
        if (IsDigit(c) || (c == '.' && pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1])))
            return NumberLiteral(line, column);
        if (IsNameStart(c)) {
            Push(TokenKind::Name, line, column).text = ReadName();
            return true;
        }
        if (c == '@') {
            Advance();
            if (pos_ >= text_.size() || !IsNameStart(text_[pos_]))
                return Fail(kFormulaErrSyntax, "'@' must be followed by a function name", line, column);
            Push(TokenKind::AtFunction, line, column).text = ReadName();
            return true;
        }
        if (c == '(') { Advance(); Push(TokenKind::LeftParen, line, column).text = "("; return true; }
        if (c == ')') { Advance(); Push(TokenKind::RightParen, line, column).text = ")"; return true; }
        if (c == ';') { Advance(); Push(TokenKind::Semicolon, line, column).text = ";"; return true; }
        for (std::string_view op : kOperators) {
            if (text_.substr(pos_, op.size()) == op) {
                for (std::size_t i = 0; i < op.size(); ++i) Advance();
                Push(TokenKind::Operator, line, column).text = std::string(op);
                return true;
            }
        }
        std::string shown(1, c);
        if (static_cast<unsigned char>(c) < 0x20) shown = "\\x" + std::to_string(static_cast<unsigned char>(c));
        return Fail(kFormulaErrSyntax, "unexpected character '" + shown + "'", line, column);
    }

    std::string ReadName() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && IsNameChar(text_[pos_])) Advance();
        return std::string(text_.substr(start, pos_ - start));
    }

    // "..." with backslash escaping the next character (\" and \\).
    bool QuotedString(int line, int column) {
        Advance();
        std::string value;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\\') {
                Advance();
                if (pos_ >= text_.size()) break;
            }
            value += text_[pos_];
            Advance();
        }
        if (pos_ >= text_.size())
            return Fail(kFormulaErrUnterminatedString, "string has no closing quote", line, column);
        Advance();
        Push(TokenKind::String, line, column).text = std::move(value);
        return true;
    }

    // {...}: the text as written, no escapes.
    bool BracedString(int line, int column) {
        Advance();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != '}') Advance();
        if (pos_ >= text_.size())
            return Fail(kFormulaErrUnterminatedString, "string has no closing '}'", line, column);
        std::string value(text_.substr(start, pos_ - start));
        Advance();
        Push(TokenKind::String, line, column).text = std::move(value);
        return true;
    }

    bool NumberLiteral(int line, int column) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) Advance();
        if (pos_ < text_.size() && text_[pos_] == '.') {
            Advance();
            while (pos_ < text_.size() && IsDigit(text_[pos_])) Advance();
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            std::size_t look = pos_ + 1;
            if (look < text_.size() && (text_[look] == '+' || text_[look] == '-')) ++look;
            if (look < text_.size() && IsDigit(text_[look])) {
                while (pos_ < look) Advance();
                while (pos_ < text_.size() && IsDigit(text_[pos_])) Advance();
            }
        }
        if (pos_ < text_.size() && IsNameStart(text_[pos_]))
            return Fail(kFormulaErrSyntax, "malformed number", line, column);
        const std::string literal(text_.substr(start, pos_ - start));
        double value = 0;
        const auto [end, status] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
        if (status != std::errc() || end != literal.data() + literal.size())
            return Fail(kFormulaErrSyntax, "number out of range: " + literal, line, column);
        Token& token = Push(TokenKind::Number, line, column);
        token.text = literal;
        token.number = value;
        return true;
    }

    std::string_view text_;
    std::vector<Token>& tokens_;
    LexError& error_;
    std::size_t pos_ = 0;
    int line_ = 1;
    int column_ = 1;
};

}  // namespace

bool Tokenize(std::string_view text, std::vector<Token>& tokens, LexError& error) {
    tokens.clear();
    return Lexer(text, tokens, error).Run();
}

}  // namespace qb::notes::formula
