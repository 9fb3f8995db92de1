// The formatting entry, the text steps the arranging pass is built from, and the error report.
// The keyword file is read in KeywordFile.cpp, the pass itself is in ArrangeText.cpp.
#include "clsMorvant.h"

#include <algorithm>

#include "Checked.h"
#include "Host.h"
#include "PassSteps.h"

namespace pellomar {

std::u16string clsMorvant::CArrange(const std::u16string& vstrQry) {
    std::u16string result;
    KeywordTable tblKeywords;
    if (LoadKeywords(tblKeywords)) {
        std::u16string arranged;
        if (ArrangeText(vstrQry, tblKeywords, arranged)) result = std::move(arranged);
    }
    return result;
}

MarkedText clsMorvant::NormalizeText(std::u16string_view vstrText) {
    MarkedText out;
    out.text = withSingleCrs(vstrText);
    std::u16string& t = out.text;
    const std::size_t n = t.size();
    out.content = markContent(t);
    // A TAB inside a literal or comment is the user's text and stays; elsewhere it is layout.
    const std::u16string tabWidth = Indent(1, u"");
    std::size_t tabs = 0;
    for (std::size_t i = 0; i < n; ++i) tabs += t[i] == kTab && !out.content[i] ? 1 : 0;
    // Too long a text is refused before its widened copy is built.
    const std::int64_t length =
        static_cast<std::int64_t>(n) + static_cast<std::int64_t>(tabs * (tabWidth.size() - 1));
    checkedPosition(length);
    if (tabs == 0) return out;
    t.resize(static_cast<std::size_t>(length));
    out.content.resize(static_cast<std::size_t>(length));
    // Widened from the back, so that nothing is read after it has been overwritten.
    std::size_t to = static_cast<std::size_t>(length);
    for (std::size_t from = n; from-- > 0;) {
        if (t[from] == kTab && !out.content[from]) {
            to -= tabWidth.size();
            std::copy(tabWidth.begin(), tabWidth.end(),
                      t.begin() + static_cast<std::ptrdiff_t>(to));
            std::fill_n(out.content.begin() + static_cast<std::ptrdiff_t>(to), tabWidth.size(), 0);
        } else {
            --to;
            t[to] = t[from];
            out.content[to] = out.content[from];
        }
    }
    return out;
}

std::u16string clsMorvant::RestoreCrLf(std::u16string_view vstrText) {
    const auto breaks = static_cast<std::size_t>(std::count(vstrText.begin(), vstrText.end(), kCr));
    std::u16string out(vstrText.size() + breaks, kLf);
    std::size_t to = 0;
    for (const char16_t c : vstrText) {
        out[to++] = c;
        if (c == kCr) ++to;  // the LF is already there
    }
    return out;
}

bool clsMorvant::IsDelimiter(std::u16string_view vstrChar) {
    return vstrChar.empty() || vstrChar == u" " || vstrChar == u"\t" || vstrChar == u"\r";
}

std::u16string_view clsMorvant::StripLeadingCr(std::u16string_view vstrText) {
    while (!vstrText.empty() && vstrText.front() == kCr) vstrText.remove_prefix(1);
    return vstrText;
}

std::u16string clsMorvant::Indent(std::int16_t vintLevel, std::u16string_view vstrText) {
    if (vintLevel > 8191 || vintLevel < -8192) {
        throw MorvantError(ErrorNumber::Overflow,
                           "indent level " + std::to_string(vintLevel) + " is outside -8192..8191");
    }
    const int spaces = vintLevel * static_cast<int>(kSpacesPerLevel);
    std::u16string out(spaces > 0 ? static_cast<std::size_t>(spaces) : 0, kSpace);
    out += vstrText;
    return out;
}

void clsMorvant::ShowError(const ErrorRecord& vErr) {
    platform::showErrorBox(vErr);
}

}  // namespace pellomar
