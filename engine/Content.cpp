#include "Content.h"

namespace pellomar {

ContentMask markContent(std::u16string_view text) {
    const std::size_t n = text.size();
    ContentMask mask(n, 0);
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        if (c == u'\'' || c == u'"') {
            std::size_t j = i + 1;
            while (j < n) {
                if (text[j] == c) {
                    if (j + 1 < n && text[j + 1] == c) {
                        mask[j] = mask[j + 1] = 1;  // a doubled quote is part of the literal
                        j += 2;
                        continue;
                    }
                    break;
                }
                mask[j++] = 1;
            }
            i = j + 1;  // past the closing quote, or past the end
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            // The second character of a two-character opener or the first of a closer counts as
            // content: a row for «-», «/» or «*» must not split «--», «/*» or «*/» and so turn
            // the rest of a comment into live SQL.
            mask[i + 1] = 1;
            std::size_t j = i + 2;
            while (j < n && text[j] != u'\r' && text[j] != u'\n') mask[j++] = 1;
            i = j + 1;
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            mask[i + 1] = 1;
            std::size_t j = i + 2;
            while (j < n && !(text[j] == u'*' && j + 1 < n && text[j + 1] == u'/')) mask[j++] = 1;
            if (j < n) mask[j] = 1;
            i = j + 2;
        } else {
            ++i;
        }
    }
    return mask;
}

bool rowIsSkipped(std::u16string_view keyword) {
    return keyword.find_first_not_of(u" \r") == std::u16string_view::npos ||
           keyword.find_first_of(u"'\"") != std::u16string_view::npos;
}

}  // namespace pellomar
