#pragma once
// Splits formula text into tokens. Every token keeps its line and column
// (from 1) so that compile errors can say where they are.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::notes::formula {

enum class TokenKind {
    End,
    String,      // "text" or {text}; `text` holds the unescaped value
    Number,      // `number` holds the value
    Name,        // item name or keyword; `text` as written
    AtFunction,  // `text` is the name without "@", as written
    Operator,    // `text` is the operator as written
    LeftParen,
    RightParen,
    Semicolon,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    double number = 0;
    int line = 1;
    int column = 1;
};

struct LexError {
    std::uint32_t status = 0;
    std::string message;
    int line = 0;
    int column = 0;
};

// Tokenizes `text`; on failure returns false and fills `error`.
bool Tokenize(std::string_view text, std::vector<Token>& tokens, LexError& error);

}  // namespace qb::notes::formula
