#include <gtest/gtest.h>

#include <string_view>

#include "ClipboardTypes.h"

namespace pellomar {
namespace {

TEST(clipboard_types_test, files_and_plain_text_by_name) {
    struct Case {
        std::string_view type;
        bool fileList;
        bool plainText;
    };
    const Case cases[] = {
        {"text/uri-list", true, false},
        {"x-special/gnome-copied-files", true, false},
        {"x-special/mate-copied-files", true, false},
        {"application/x-kde4-urilist", true, false},
        {"text/plain;charset=utf-8", false, true},
        {"text/plain", false, true},
        {"UTF8_STRING", false, true},
        {"STRING", false, true},
        {"TEXT", false, true},
        // Text of other kinds, which a layout must not take for the user's text.
        {"text/html", false, false},
        {"text/x-moz-url", false, false},
        {"text/plain;charset=utf-16", false, false},
        {"COMPOUND_TEXT", false, false},
        {"image/png", false, false},
        // Names are compared as they are: atoms and MIME types as clients spell them.
        {"TEXT/URI-LIST", false, false},
        {"text/uri-list ", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type));
        EXPECT_EQ(platform::isFileListType(c.type), c.fileList);
        EXPECT_EQ(platform::isPlainTextType(c.type), c.plainText);
    }
}

}  // namespace
}  // namespace pellomar
