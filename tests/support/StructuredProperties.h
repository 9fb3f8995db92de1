#pragma once

// What a structured layout promises about any text, whatever the rows: it moves only spaces,
// TABs and line breaks that stand between tokens, never takes away the last bit of space between
// two tokens, never adds any inside one, and keeps every literal, quoted name, comment,
// dollar-quoted body and COPY data as it was. The tests, the fuzz target and the corpus run
// share this one check, so that they hold the layout to the same promise.

#include <string>
#include <string_view>

namespace pellomar::testing_support {

// Checks that `output` is a layout of `input` that keeps the promise above. Returns the empty
// text when it does, else a description of the first place where it does not: which promise,
// where in each text (line:column and code unit), and the text around it.
//
// Both texts may have CR LF line breaks, as a request takes and gives them, or single CRs, as
// the engine works: CR LF is read as one CR before anything else. So a lone CR of the input and
// the CR LF that a request gives back for it are the same line break, also inside a literal,
// and a lone LF is an ordinary character, as it is to the engine.
//
// Tokens are cut here by a tokenizer of this file's own, written from the documented rules (the
// engine's lexer is not used): a check that shares the engine's lexer would agree with any fault
// of it, and a literal ended too early or a comment not seen would go unnoticed. Only the
// classification of code units into word units (isWordUnit) comes from the engine, because it
// defines where a word ends and so where whitespace may be added at all.
std::string structuredViolation(std::u16string_view input, std::u16string_view output);

}  // namespace pellomar::testing_support
