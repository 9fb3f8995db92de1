#pragma once

// The faults a reader sees in a layout of SQL, found from the input and the output text alone.

#include <string>
#include <string_view>
#include <vector>

#include "LayoutShape.h"

namespace pellomar::layout_check {

enum class Fault {
    SplitPhrase,
    FragmentLine,
    LoneComma,
    BetweenAnd,
    BrokenCall,
    ValuesTuple,
    InList,
    InsertColumns,
    BlockIndent,
    GroupIndent,
    RoleClause,
    TableColumns,
    CommentMoved,
    KeywordInIdentifier,
    LongLine,
    LiteralChanged,
};

// One occurrence: the output lines (from 0) that show it.
struct Finding {
    Fault fault;
    int firstLine;
    int lastLine;
};

struct FaultRule {
    Fault fault;
    const char* name;  // as the program prints it and --show takes it
    const char* rule;  // what counts, in one line
    void (*find)(const Layout& layout, std::vector<Finding>& out);
};

// Every fault kind with its rule, in the order the program reports them.
const std::vector<FaultRule>& faultRules();
const char* faultName(Fault fault);

struct Verdict {
    std::string contentChange;  // empty unless more than whitespace changed
    std::vector<Finding> findings;
};

// Judges the layout of one input (one statement or a whole script). Line ends may be LF or CR LF.
Verdict checkLayout(std::string_view input, std::string_view output);

}  // namespace pellomar::layout_check
