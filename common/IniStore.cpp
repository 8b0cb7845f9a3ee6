// Private-profile INI files, edited line by line so that everything but the one value
// written stays byte for byte as it was (comments, blank lines, unknown lines, line ends).

#include "common/IniStore.h"

#include "common/AtomicFile.h"
#include "common/LeadingNumber.h"
#include "common/Platform.h"

#include <optional>
#include <vector>

namespace common {

namespace {

// Values read are cut here: the reader's buffer holds 256 bytes with the terminating zero.
constexpr std::size_t kMaxValueLength = 255;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

ByteView trim(ByteView text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool hasLineBreakOrNul(ByteView text)
{
    return text.find_first_of(ByteView("\r\n\0", 3)) != ByteView::npos;
}

struct Line
{
    enum class Kind
    {
        Blank,
        Section,
        Entry,
        Other
    };
    Kind kind = Kind::Other;
    std::size_t begin = 0;      // first byte of the line
    std::size_t textEnd = 0;    // before "\r\n" or "\n"
    std::size_t end = 0;        // after the line end (== textEnd on a last line without one)
    ByteView name;              // section or key name, trimmed
    std::size_t valueBegin = 0; // entries: first byte after "="
};

std::vector<Line> parse(ByteView content)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        Line line;
        line.begin = pos;
        const std::size_t newline = content.find('\n', pos);
        line.end = newline == ByteView::npos ? content.size() : newline + 1;
        line.textEnd = newline == ByteView::npos ? content.size() : newline;
        if (line.textEnd > line.begin && content[line.textEnd - 1] == '\r')
            --line.textEnd;
        pos = line.end;

        std::size_t textBegin = line.begin;
        if (line.begin == 0 && content.substr(0, 3) == "\xEF\xBB\xBF")
            textBegin = 3; // a byte-order mark written by some editors
        const ByteView raw = content.substr(textBegin, line.textEnd - textBegin);
        const ByteView text = trim(raw);
        if (text.empty()) {
            line.kind = Line::Kind::Blank;
        } else if (text.front() == '[') {
            line.kind = Line::Kind::Section;
            const ByteView inside = text.substr(1);
            line.name = trim(inside.substr(0, inside.find(']')));
        } else if (text.front() != ';') {
            const std::size_t equals = raw.find('=');
            if (equals != ByteView::npos && !trim(raw.substr(0, equals)).empty()) {
                line.kind = Line::Kind::Entry;
                line.name = trim(raw.substr(0, equals));
                line.valueBegin = textBegin + equals + 1;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// Where a key is, or where it would go. Only the first section of a name is looked at.
struct Location
{
    std::optional<std::size_t> section; // header line
    std::optional<std::size_t> entry;   // key line
    std::size_t lastLine = 0;           // last non-blank line of the section
};

Location locate(const std::vector<Line> &lines, ByteView section, ByteView key)
{
    Location where;
    section = trim(section);
    key = trim(key);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (!where.section) {
            if (line.kind == Line::Kind::Section && equalsIgnoringAsciiCase(line.name, section)) {
                where.section = i;
                where.lastLine = i;
            }
            continue;
        }
        if (line.kind == Line::Kind::Section)
            break;
        if (line.kind != Line::Kind::Blank)
            where.lastLine = i;
        if (line.kind == Line::Kind::Entry && equalsIgnoringAsciiCase(line.name, key)) {
            where.entry = i;
            break;
        }
    }
    return where;
}

std::optional<Bytes> lookup(ByteView path, ByteView section, ByteView key)
{
    const std::optional<Bytes> content = ReadRegularFile(LocalPath(path));
    if (!content)
        return std::nullopt;
    const std::vector<Line> lines = parse(*content);
    const Location where = locate(lines, section, key);
    if (!where.entry)
        return std::nullopt;
    const Line &line = lines[*where.entry];
    ByteView value =
        trim(ByteView(*content).substr(line.valueBegin, line.textEnd - line.valueBegin));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return Bytes(value.substr(0, kMaxValueLength));
}

} // namespace

Bytes ReadIniString(ByteView path, ByteView section, ByteView key)
{
    return lookup(path, section, key).value_or(Bytes());
}

std::int32_t ReadIniNumber(ByteView path, ByteView section, ByteView key, std::int32_t fallback)
{
    const std::optional<Bytes> value = lookup(path, section, key);
    if (!value)
        return fallback;
    const std::optional<std::int64_t> number =
        LeadingNumber(*value, Rounding::TowardZero, {.fraction = false});
    if (!number)
        return fallback;
    // wraps like the platform's reader instead of overflowing
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*number));
}

namespace {

// A line break in any part would add lines of its own to the file.
bool canWrite(ByteView section, ByteView key, ByteView value)
{
    const ByteView sectionName = trim(section);
    const ByteView keyName = trim(key);
    return !sectionName.empty() && !keyName.empty() && !hasLineBreakOrNul(section) &&
           !hasLineBreakOrNul(key) && !hasLineBreakOrNul(value) &&
           section.find(']') == ByteView::npos && key.find('=') == ByteView::npos &&
           keyName.front() != '[' && keyName.front() != ';';
}

// The file a write goes to: a link is written through to the file it leads to. Empty when
// that cannot be told (a link that leads nowhere).
std::optional<std::string> writeTarget(ByteView path)
{
    std::string target = LocalPath(path);
    if (EntryKindOf(target) == EntryKind::Link) {
        target = RealPath(target);
        if (target.empty())
            return std::nullopt;
    }
    return target;
}

// Replaces the value in place; the name, the "=" and the blanks after it stay, unless the new
// value brings blanks of its own (kept, they would grow with every write).
Bytes replaceValue(const Bytes &content, const Line &line, ByteView value)
{
    std::size_t valueStart = line.valueBegin;
    const bool valueHasLeadingBlank = !value.empty() && (value[0] == ' ' || value[0] == '\t');
    while (!valueHasLeadingBlank && valueStart < line.textEnd &&
           (content[valueStart] == ' ' || content[valueStart] == '\t'))
        ++valueStart;
    Bytes updated = content.substr(0, valueStart);
    updated += value;
    updated += content.substr(line.textEnd);
    return updated;
}

// Appends the key after the section's last non-blank line.
Bytes appendEntry(const Bytes &content, const Line &last, ByteView key, ByteView value,
                  ByteView eol)
{
    Bytes updated = content.substr(0, last.end);
    // A last line without "\n" needs one first, also when it ends in a lone "\r".
    if (last.end == 0 || content[last.end - 1] != '\n')
        updated += eol;
    updated += key;
    updated += '=';
    updated += value;
    updated += eol;
    updated += content.substr(last.end);
    return updated;
}

// Appends a new section holding the key at the end of the file.
Bytes appendSection(const Bytes &content, const std::vector<Line> &lines, ByteView section,
                    ByteView key, ByteView value, ByteView eol)
{
    Bytes updated = content;
    if (!updated.empty() && updated.back() != '\n')
        updated += eol;
    if (!lines.empty() && lines.back().kind != Line::Kind::Blank)
        updated += eol;
    updated += '[';
    updated += section;
    updated += ']';
    updated += eol;
    updated += key;
    updated += '=';
    updated += value;
    updated += eol;
    return updated;
}

Bytes withValue(const Bytes &content, ByteView section, ByteView key, ByteView value)
{
    const std::vector<Line> lines = parse(content);
    const Location where = locate(lines, trim(section), trim(key));
    const bool crlf = content.find("\r\n") != Bytes::npos || content.find('\n') == Bytes::npos;
    const ByteView eol = crlf ? "\r\n" : "\n";
    if (where.entry)
        return replaceValue(content, lines[*where.entry], value);
    if (where.section)
        return appendEntry(content, lines[where.lastLine], key, value, eol);
    return appendSection(content, lines, section, key, value, eol);
}

} // namespace

bool WriteIni(ByteView path, ByteView section, ByteView key, ByteView value)
{
    if (!canWrite(section, key, value) || path.empty())
        return false;
    const std::optional<std::string> target = writeTarget(path);
    if (!target)
        return false;
    Bytes content;
    const bool exists = EntryKindOf(*target) != EntryKind::Missing;
    if (exists) {
        std::optional<Bytes> old = ReadRegularFile(*target);
        if (!old)
            return false; // never replace a file that could not be read
        content = std::move(*old);
    }
    const Bytes updated = withValue(content, section, key, value);
    if (updated == content && exists)
        return true;
    return WriteFileAtomically(*target, updated) == AtomicWriteResult::Written;
}

} // namespace common
