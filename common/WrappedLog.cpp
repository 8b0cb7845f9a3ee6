#include "common/WrappedLog.h"

#include <algorithm>

namespace common {

namespace {

constexpr ByteView kLineBreak = "\r\n";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

void WrappedLog::setLayout(const Widths &widths, int rowWidth)
{
    m_widths = widths;
    m_rowWidth = std::max(1, rowWidth);
    m_rowCount = 0;
    for (std::size_t line = 0; line < m_lines.size(); ++line) {
        m_lines[line].firstRow = m_rowCount;
        m_rowCount += rowsOf(m_lines[line].begin, lineEnd(line));
    }
}

void WrappedLog::append(ByteView lines)
{
    if (lines.empty())
        return;
    if (!m_lines.empty())
        m_text.append(kLineBreak);
    std::size_t begin = m_text.size();
    m_text.append(lines);
    for (;;) {
        const std::size_t found = m_text.find(kLineBreak, begin);
        const std::size_t end = found == Bytes::npos ? m_text.size() : found;
        addLine(begin, end);
        if (found == Bytes::npos)
            break;
        begin = end + kLineBreak.size();
    }
}

void WrappedLog::addLine(std::size_t begin, std::size_t end)
{
    m_lines.push_back({begin, m_rowCount});
    m_rowCount += rowsOf(begin, end);
}

std::size_t WrappedLog::lineEnd(std::size_t line) const
{
    return line + 1 < m_lines.size() ? m_lines[line + 1].begin - kLineBreak.size() : m_text.size();
}

std::size_t WrappedLog::rowEnd(std::size_t begin, std::size_t end) const
{
    int x = 0;
    std::size_t afterBlank = begin;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = m_text[i];
        x += m_widths[static_cast<unsigned char>(c)];
        if (isBlank(c))
            afterBlank = i + 1; // blanks never push a row over its edge
        else if (x > m_rowWidth && i > begin)
            return afterBlank > begin ? afterBlank : i;
    }
    return end;
}

std::size_t WrappedLog::rowsOf(std::size_t begin, std::size_t end) const
{
    std::size_t rows = 1;
    for (std::size_t at = rowEnd(begin, end); at < end; at = rowEnd(at, end))
        ++rows;
    return rows;
}

std::size_t WrappedLog::lineOfRow(std::size_t row) const
{
    const auto after =
        std::upper_bound(m_lines.begin(), m_lines.end(), row,
                         [](std::size_t r, const Line &l) { return r < l.firstRow; });
    return after == m_lines.begin() ? 0 : static_cast<std::size_t>(after - m_lines.begin()) - 1;
}

std::vector<WrappedLog::Row> WrappedLog::rows(std::size_t first, std::size_t count) const
{
    std::vector<Row> out;
    if (first >= m_rowCount)
        return out;
    std::size_t row = m_lines[lineOfRow(first)].firstRow;
    for (std::size_t line = lineOfRow(first); line < m_lines.size() && out.size() < count; ++line) {
        const std::size_t end = lineEnd(line);
        std::size_t begin = m_lines[line].begin;
        do {
            const std::size_t rowEnds = rowEnd(begin, end);
            if (row++ >= first)
                out.push_back({line, begin, rowEnds});
            begin = rowEnds;
        } while (begin < end && out.size() < count);
    }
    return out;
}

std::size_t WrappedLog::rowOf(std::size_t offset) const
{
    if (m_lines.empty())
        return 0;
    const auto after = std::upper_bound(m_lines.begin(), m_lines.end(), offset,
                                        [](std::size_t at, const Line &l) { return at < l.begin; });
    const std::size_t line = static_cast<std::size_t>(after - m_lines.begin()) - 1;
    const std::size_t end = lineEnd(line);
    std::size_t row = m_lines[line].firstRow;
    for (std::size_t begin = m_lines[line].begin;; ++row) {
        const std::size_t rowEnds = rowEnd(begin, end);
        if (offset < rowEnds || rowEnds >= end)
            return row;
        begin = rowEnds;
    }
}

std::size_t WrappedLog::offsetAt(const Row &row, int x) const
{
    int left = 0;
    for (std::size_t i = row.begin; i < row.end; ++i) {
        const int w = m_widths[static_cast<unsigned char>(m_text[i])];
        if (2 * x < 2 * left + w) // nearer to this byte's left edge than to its right
            return i;
        left += w;
    }
    return row.end;
}

int WrappedLog::xOf(const Row &row, std::size_t offset) const
{
    return width(row.begin, std::clamp(offset, row.begin, row.end));
}

int WrappedLog::width(std::size_t begin, std::size_t end) const
{
    int sum = 0;
    for (std::size_t i = begin; i < end; ++i)
        sum += m_widths[static_cast<unsigned char>(m_text[i])];
    return sum;
}

} // namespace common
