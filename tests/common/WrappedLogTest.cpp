#include "common/WrappedLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using common::WrappedLog;

// Every byte one unit wide, "W" three.
WrappedLog::Widths widths()
{
    WrappedLog::Widths w{};
    w.fill(1);
    w['W'] = 3;
    return w;
}

std::vector<std::string> shownRows(const WrappedLog &log)
{
    std::vector<std::string> out;
    for (const auto &row : log.rows(0, log.rowCount()))
        out.push_back(log.text().substr(row.begin, row.end - row.begin));
    return out;
}

TEST(WrappedLog, RowsBreakAfterBlanksAndInsideWordsTooLong)
{
    const struct
    {
        const char *lines;
        int width;
        std::vector<std::string> rows;
    } cases[] = {
        {"hello world", 7, {"hello ", "world"}},
        {"hello world", 11, {"hello world"}},
        {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"ab   cd", 3, {"ab   ", "cd"}}, // blanks hang past the edge
        {"WWW", 5, {"W", "W", "W"}},     // at least one byte per row
        {"one\r\n\r\ntwo", 9, {"one", "", "two"}},
        {"a\rb\nc", 9, {"a\rb\nc"}}, // only CR LF ends a line
        {"to be or not", 0, {"t", "o ", "b", "e ", "o", "r ", "n", "o", "t"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lines);
        WrappedLog log;
        log.setLayout(widths(), c.width);
        log.append(c.lines);
        EXPECT_EQ(shownRows(log), c.rows);
        EXPECT_EQ(log.rowCount(), c.rows.size());
    }
}

TEST(WrappedLog, LinesAddedOneByOneLayOutAsAWholeRewrap)
{
    WrappedLog log;
    log.setLayout(widths(), 6);
    log.append("");
    EXPECT_EQ(log.text(), "");
    log.append("first line");
    log.append("second\r\nthird of them");
    EXPECT_EQ(log.text(), "first line\r\nsecond\r\nthird of them");
    EXPECT_EQ(log.lineCount(), 3u);
    const auto added = shownRows(log);
    EXPECT_EQ(added,
              (std::vector<std::string>{"first ", "line", "second", "third ", "of ", "them"}));
    EXPECT_EQ(log.lineOfRow(4), 2u);
    EXPECT_EQ(log.firstRow(2), 3u);

    // A rewrap at another width and back gives the same rows; rows from the middle too.
    log.setLayout(widths(), 40);
    EXPECT_EQ(log.rowCount(), 3u);
    log.setLayout(widths(), 6);
    EXPECT_EQ(shownRows(log), added);
    const auto middle = log.rows(3, 2);
    ASSERT_EQ(middle.size(), 2u);
    EXPECT_EQ(log.text().substr(middle[1].begin, middle[1].end - middle[1].begin), "of ");
}

TEST(WrappedLog, PointsAndOffsetsOfARow)
{
    WrappedLog log;
    log.setLayout(widths(), 6);
    log.append("aWb cd\r\nnext");
    const auto first = log.rows(0, 1).front(); // "aWb "
    EXPECT_EQ(log.offsetAt(first, 0), 0u);
    EXPECT_EQ(log.offsetAt(first, 1), 1u);
    EXPECT_EQ(log.offsetAt(first, 2), 1u); // the left half of the wide "W"
    EXPECT_EQ(log.offsetAt(first, 3), 2u);
    EXPECT_EQ(log.offsetAt(first, 99), first.end);
    EXPECT_EQ(log.xOf(first, 2), 4);
    // A row's end belongs to the next row, but a line's end to its last row.
    EXPECT_EQ(log.rowOf(first.end), 1u);
    EXPECT_EQ(log.rowOf(6), 1u);
    EXPECT_EQ(log.rowOf(8), 2u);
    EXPECT_EQ(log.rowOf(log.text().size()), 2u);
}

} // namespace
