#pragma once
// The compiled form of a formula: a tree of nodes, evaluated per note.

#include <memory>
#include <string>
#include <vector>

#include "notes/api/formula/FormulaDocument.h"

namespace qb::notes::formula {

enum class NodeKind {
    Constant,    // `constant`
    Item,        // `name`: an item of the note
    List,        // children joined with ':'
    Negate,      // unary minus of a number
    Not,         // '!'
    And,         // '&'
    Or,          // '|'
    Compare,     // `compare`, `permuted`
    Function,    // `function`, arguments in children
};

enum class CompareOp { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

enum class FunctionId {
    All, True, False, IsAvailable, IsUnavailable, IsResponseDoc,
    IsMember, IsNotMember, Contains, Begins, Ends, LowerCase, UpperCase,
};

struct Node {
    NodeKind kind = NodeKind::Constant;
    FormulaValue constant;
    std::string name;
    CompareOp compare = CompareOp::Equal;
    bool permuted = false;
    FunctionId function = FunctionId::All;
    std::vector<std::unique_ptr<Node>> children;
    int depth = 1;  // height of this subtree, bounded by the parser
};

}  // namespace qb::notes::formula
