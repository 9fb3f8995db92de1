#pragma once

#include <string>
#include <string_view>

#include "clsMorvant.h"

namespace pellomar {

// The tests' one way into clsMorvant's private steps, for what no request can show. Everything
// else is tested through CArrange, with a keyword file in a testing_support::KeywordDir.
struct MorvantTestSeam {
    // The table a keyword file's text loads into: the rows themselves, which a request only shows
    // through their layouts, and the rows the direct pass is given to lay out alike.
    static bool ParseKeywords(const std::u16string& text, KeywordTable& table) {
        return clsMorvant().ParseKeywords(text, table);
    }
    // The pass over any table, also over rows that no keyword file can hold (a keyword with an LF
    // or a CR LF in it): the differential tests and their fuzz target compare it with the direct
    // pass.
    static bool ArrangeText(const std::u16string& query, const KeywordTable& table,
                            std::u16string& result) {
        return clsMorvant().ArrangeText(query, table, result);
    }
    // Edge cases of two text steps that a request never reaches, since the pass turns CR LF into
    // CR first and asks about one character at a time: RestoreCrLf of a CR LF, IsDelimiter of two.
    static std::u16string RestoreCrLf(std::u16string_view text) {
        return clsMorvant().RestoreCrLf(text);
    }
    static bool IsDelimiter(std::u16string_view text) { return clsMorvant().IsDelimiter(text); }
};

}  // namespace pellomar
