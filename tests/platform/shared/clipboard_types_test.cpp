#include <gtest/gtest.h>

#include "ClipboardTypes.h"

namespace pellomar {
namespace {

// Names are compared exactly: a near miss is another program's type and carries something
// that plain text would lose or misread.
TEST(clipboard_types_test, plain_text_and_file_lists) {
    struct Case {
        const char* type;
        bool plainText;
        bool fileList;
    };
    const Case cases[] = {
        {"text/plain;charset=utf-8", true, false},
        {"text/plain", true, false},
        {"UTF8_STRING", true, false},
        {"STRING", true, false},
        {"TEXT", true, false},
        {"text/uri-list", false, true},
        {"x-special/gnome-copied-files", false, true},
        {"x-special/mate-copied-files", false, true},
        {"application/x-kde4-urilist", false, true},
        // Text of other kinds is not plain text.
        {"text/html", false, false},
        {"text/rtf", false, false},
        {"text/x-moz-url", false, false},
        {"text/plain;charset=utf-16", false, false},
        {"application/x-qt-windows-mime;value=\"Csv\"", false, false},
        {"image/png", false, false},
        {"TARGETS", false, false},
        // Near misses.
        {"", false, false},
        {"text/plain ", false, false},
        {"utf8_string", false, false},
        {"text/plain;charset=utf-8\n", false, false},
        {"TEXT/URI-LIST", false, false},
        {"text/uri-list ", false, false},
        {"COMPOUND_TEXT", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(platform::isPlainTextType(c.type), c.plainText);
        EXPECT_EQ(platform::isFileListType(c.type), c.fileList);
    }
}

}  // namespace
}  // namespace pellomar
