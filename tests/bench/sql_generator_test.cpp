// The benchmark's generated SQL: the same text for the same seed (or two runs would time different
// inputs), the size asked for, every shape it claims, and a text that both layout modes take
// without an error box, changing only whitespace, so that the benchmark times real layouts.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "MorvantTestSeam.h"
#include "SqlGenerator.h"
#include "Support.h"
#include "TextCodec.h"
#include "clsMorvant.h"

namespace pellomar {
namespace {

using bench::generateSql;
using testing_support::contentRuns;
using testing_support::KeywordDir;
using testing_support::u16;
using testing_support::withoutSpacing;

TEST(sql_generator_test, same_seed_same_text_other_seed_other_text) {
    const std::string text = generateSql(100000);
    EXPECT_EQ(text, generateSql(100000, 42));
    EXPECT_NE(text, generateSql(100000, 43));
    // A shorter input is the start of a longer one with the same seed, cut at a line end.
    const std::string longer = generateSql(200000);
    EXPECT_EQ(longer.compare(0, text.size(), text), 0);
}

TEST(sql_generator_test, whole_lines_of_about_the_size_asked_for) {
    for (const std::size_t bytes : {1000u, 10000u, 100000u, 1000000u}) {
        SCOPED_TRACE(bytes);
        const std::string text = generateSql(bytes);
        ASSERT_FALSE(text.empty());
        EXPECT_LE(text.size(), bytes);
        // No generated line is longer than 200 bytes.
        EXPECT_GT(text.size(), bytes - 200);
        EXPECT_EQ(text.back(), '\n');
        EXPECT_TRUE(platform::decodeUtf8(text).has_value());
    }
}

// The shapes of the scripts people paste, each of which the benchmark must exercise: every one
// turns up in the 100 KB input, the second smallest the benchmark times.
TEST(sql_generator_test, every_shape_turns_up_in_100_kb) {
    const std::string text = generateSql(100000);
    const struct {
        const char* shape;
        std::string_view marker;
    } shapes[] = {
        {"a join with its condition", "INNER JOIN "},
        {"CASE", "CASE WHEN "},
        {"a CTE", "with recent as (\n"},
        {"a recursive CTE", "with recursive "},
        {"a correlated subquery", "WHERE o2.customer_id = o.customer_id"},
        {"a derived table", "FROM (SELECT "},
        {"EXISTS", "WHERE EXISTS (SELECT 1"},
        {"a window function", "over (partition by "},
        {"a named window", "window w as ("},
        {"a UNION chain", "UNION ALL\n"},
        {"INSERT ... VALUES", ") VALUES\n("},
        {"INSERT ... SELECT", ")\nSELECT id, customer_id"},
        {"an upsert", "ON CONFLICT (id) DO UPDATE SET"},
        {"UPDATE ... FROM", "\nfrom invoices i\n"},
        {"DELETE ... USING", "\nusing orders o, customers c\n"},
        {"CREATE TABLE", "CREATE TABLE IF NOT EXISTS "},
        {"CREATE VIEW", "CREATE OR REPLACE VIEW "},
        {"CREATE INDEX", "CREATE INDEX "},
        {"ALTER TABLE", "ALTER TABLE "},
        {"GRANT", "GRANT SELECT, INSERT, UPDATE ON "},
        {"a function's dollar-quoted body", "LANGUAGE plpgsql AS $"},
        {"a tagged dollar quote", "$body$"},
        {"a DO block", "DO $"},
        {"an E'' string with an escaped quote", "E'it\\'s shipped'"},
        {"a line comment", "-- "},
        {"a block comment", "/* "},
        {"a TAB in a literal", "\n\tEND IF;"},
    };
    for (const auto& s : shapes) {
        EXPECT_NE(text.find(s.marker), std::string::npos) << s.shape << " is missing";
    }
}

// Lays the text out with the keyword file dir holds: no error box, nothing but whitespace
// changed, every literal and comment as it was. Returns the layout.
std::u16string layOutChecked(const KeywordDir& dir, const std::u16string& query) {
    std::u16string result = clsMorvant().CArrange(query);
    EXPECT_TRUE(dir.boxes().empty()) << dir.boxes().front();
    EXPECT_TRUE(withoutSpacing(result) == withoutSpacing(query))
        << "something other than whitespace changed";
    EXPECT_TRUE(contentRuns(result) == contentRuns(query)) << "a literal or comment changed";
    return result;
}

TEST(sql_generator_test, both_layout_modes_take_it_changing_only_whitespace) {
    const std::u16string query = platform::lfToCrLf(u16(generateSql(300000, 7)));
    KeywordTable rows;
    {
        KeywordDir structured;
        structured.writeBytes(testing_support::shippedKeywordFile());
        ASSERT_TRUE(
            MorvantTestSeam::ParseKeywords(u16(testing_support::shippedKeywordFile()), rows));
        ASSERT_EQ(rows.layout, LayoutMode::Structured);
        const std::u16string once = layOutChecked(structured, query);
        EXPECT_TRUE(clsMorvant().CArrange(once) == once) << "a second layout changed it";
    }
    // The benchmark's classic file: the same rows, a leading word as a word.
    for (typKeyword& row : rows) {
        if (row.intLineHead == 2) row.intLineHead = 1;
    }
    rows.layout = LayoutMode::Classic;
    KeywordDir classic;
    classic.writeRows(rows);
    layOutChecked(classic, query);
}

}  // namespace
}  // namespace pellomar
