#include <gtest/gtest.h>

#include "Support.h"
#include "basCsv.h"

namespace pellomar {
namespace {

struct CsvCase {
    const char16_t* line;
    std::vector<std::u16string> fields;
};

TEST(csv_test, splits_lines_as_stored_keyword_files_expect) {
    const CsvCase cases[] = {
        {u"a,b,c", {u"a", u"b", u"c"}},
        {u"\"x,y\",z", {u"x,y", u"z"}},
        {u"a,b,", {u"a", u"b"}},  // no empty field after a final comma
        {u"a,,b", {u"a", u"", u"b"}},
        {u"\"ab\"c,d", {u"ab", u"", u"d"}},  // the character after the closing quote is dropped
        {u"\"\",a", {u"\"\"", u"a"}},        // the closing quote is looked for two characters on
        {u" select , 1 ,1", {u" select ", u" 1 ", u"1"}},  // nothing is trimmed
        {u"", {u""}},
        {u"\"abc", {u"\"abc"}},  // unclosed quote: the whole line, quote included
        {u"\",\",1,0", {u",", u"1", u"0"}},
        {u",", {u""}},
        {u",,", {u"", u""}},
        {u"\"a\"", {u"a"}},
        {u"\"a\"\"b\",c", {u"a", u"b\"", u"c"}},  // doubled quotes are not understood
    };
    for (const CsvCase& c : cases) {
        SCOPED_TRACE(testing_support::visible(c.line));
        EXPECT_EQ(basCsv::SplitCsv(c.line), c.fields);
    }
}

TEST(csv_test, field_count_is_sixteen_bit) {
    std::u16string line;
    for (int i = 0; i < 32767; ++i) line += i ? u",x" : u"x";
    EXPECT_EQ(basCsv::SplitCsv(line).size(), 32767u);
    line += u",x";
    try {
        basCsv::SplitCsv(line);
        FAIL() << "32768 fields must overflow";
    } catch (const MorvantError& e) {
        EXPECT_EQ(e.record().Number, 6);
    }
}

}  // namespace
}  // namespace pellomar
