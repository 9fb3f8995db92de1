#include "Content.h"

#include <algorithm>

#include "SqlLexer.h"

namespace pellomar {

ContentMask markContent(std::u16string_view text) {
    ContentMask mask(text.size(), 0);
    SqlLexer lexer(text);
    Token token;
    while (lexer.next(token)) {
        if (!isContentToken(token.kind)) continue;
        // What opens and closes a literal or comment stays layout: its first and last code
        // unit. The inner ones of --, /*, */ and $tag$ are content, so that no keyword splits
        // them and turns the rest into live SQL.
        const std::size_t closer = token.closed && token.kind != TokenKind::LineComment &&
                                           token.kind != TokenKind::CopyData
                                       ? 1
                                       : 0;
        std::fill(mask.begin() + static_cast<std::ptrdiff_t>(token.begin + token.openerLength),
                  mask.begin() + static_cast<std::ptrdiff_t>(token.end - closer), 1);
    }
    return mask;
}

bool rowIsSkipped(std::u16string_view keyword) {
    return keyword.find_first_not_of(u" \r") == std::u16string_view::npos ||
           keyword.find_first_of(u"'\"") != std::u16string_view::npos;
}

}  // namespace pellomar
