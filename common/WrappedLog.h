#pragma once

#include "common/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace common {

// A log of lines of bytes laid out in rows of a given width, as a text box with word wrap
// shows them: a row breaks after the last blank that fits, a word wider than the row breaks
// where it must, and blanks at the end of a row hang past its edge. Only the number of rows of
// each line is kept, so adding a line costs the same however long the log is; the rows
// themselves are worked out again for the few a window shows. The log's text is the lines
// joined by CR LF, as they were added.
class WrappedLog
{
public:
    // The width of each byte as drawn.
    using Widths = std::array<int, 256>;

    // A part of one line shown in one row: the bytes [begin, end) of text().
    struct Row
    {
        std::size_t line = 0;
        std::size_t begin = 0;
        std::size_t end = 0;
    };

    // Lays every line out again for new widths or a new row width (at least one byte per row).
    void setLayout(const Widths &widths, int rowWidth);
    // Lines joined by CR LF, at the end of the log.
    void append(ByteView lines);

    const Bytes &text() const { return m_text; }
    std::size_t lineCount() const { return m_lines.size(); }
    std::size_t rowCount() const { return m_rowCount; }
    // The first row of a line, and the line a row belongs to.
    std::size_t firstRow(std::size_t line) const { return m_lines[line].firstRow; }
    std::size_t lineOfRow(std::size_t row) const;
    // Up to `count` rows from `first` on.
    std::vector<Row> rows(std::size_t first, std::size_t count) const;
    // The row that shows the byte at `offset` (the end of a row counts as the next row's
    // start, except at the end of a line).
    std::size_t rowOf(std::size_t offset) const;
    // The byte boundary of a row nearest to `x` from the row's left edge.
    std::size_t offsetAt(const Row &row, int x) const;
    // Where the byte at `offset` of a row starts, from the row's left edge.
    int xOf(const Row &row, std::size_t offset) const;
    int width(std::size_t begin, std::size_t end) const;

private:
    struct Line
    {
        std::size_t begin = 0;
        std::size_t firstRow = 0;
    };

    std::size_t lineEnd(std::size_t line) const;
    // Where the row that starts at `begin` of a line ending at `end` ends.
    std::size_t rowEnd(std::size_t begin, std::size_t end) const;
    std::size_t rowsOf(std::size_t begin, std::size_t end) const;
    void addLine(std::size_t begin, std::size_t end);

    Bytes m_text;
    std::vector<Line> m_lines;
    std::size_t m_rowCount = 0;
    Widths m_widths{};
    int m_rowWidth = 1;
};

} // namespace common
