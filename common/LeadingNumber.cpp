#include "common/LeadingNumber.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace common {

namespace {

bool isDigit(ByteView text, std::size_t i)
{
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// Where the digits of a mantissa ("12", and with a fraction "12.5", "5." or ".5") that starts
// at `pos` end;
// `pos` itself when there are none.
std::size_t mantissaEnd(ByteView text, std::size_t pos, bool fraction)
{
    const std::size_t start = pos;
    while (isDigit(text, pos))
        ++pos;
    if (fraction && pos < text.size() && text[pos] == '.') {
        std::size_t after = pos + 1;
        while (isDigit(text, after))
            ++after;
        if (after > pos + 1 || pos > start)
            return after;
    }
    return pos;
}

// Where an exponent that starts at `pos` ends; `pos` itself when there is none.
std::size_t exponentEnd(ByteView text, std::size_t pos)
{
    if (pos >= text.size() ||
        (text[pos] != 'e' && text[pos] != 'E' && text[pos] != 'd' && text[pos] != 'D'))
        return pos;
    std::size_t exp = pos + 1;
    if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
        ++exp;
    if (!isDigit(text, exp))
        return pos;
    while (isDigit(text, exp))
        ++exp;
    return exp;
}

// Nearest integer, halves to the even neighbour, clamped to the 64-bit range.
std::int64_t roundHalfEven(double value)
{
    constexpr double kLimit = 9.2e18;
    if (!(value < kLimit))
        return std::numeric_limits<std::int64_t>::max();
    if (!(value > -kLimit))
        return std::numeric_limits<std::int64_t>::min();
    const double floorValue = std::floor(value);
    const double fraction = value - floorValue;
    auto rounded = static_cast<std::int64_t>(floorValue);
    if (fraction > 0.5 || (fraction == 0.5 && rounded % 2 != 0))
        ++rounded;
    return rounded;
}

// `number`: digits with an optional fraction and exponent, no sign.
double valueOf(ByteView number)
{
    // from_chars takes no "d" exponent and no leading ".", so rebuild the number.
    std::string text;
    if (number.front() == '.')
        text.push_back('0');
    for (const char c : number)
        text.push_back(c == 'd' || c == 'D' ? 'e' : c);
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) // too large, or too close to zero
        return text.find("e-") != std::string::npos ? 0.0 : std::numeric_limits<double>::infinity();
    return result.ec == std::errc() ? value : 0.0;
}

std::uint64_t wholeDigits(ByteView number)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; isDigit(number, i); ++i)
        value = value * 10u + static_cast<std::uint64_t>(number[i] - '0');
    return value;
}

} // namespace

std::int64_t LeadingNumberRounded(ByteView text)
{
    return LeadingNumber(text, Rounding::HalfToEven, {.leadingBlanks = true, .exponent = true})
        .value_or(0);
}

std::optional<std::int64_t> LeadingNumber(ByteView text, Rounding rounding, NumberSyntax syntax)
{
    std::size_t pos = 0;
    while (syntax.leadingBlanks && pos < text.size() &&
           (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const std::size_t start = pos;
    std::size_t end = mantissaEnd(text, start, syntax.fraction);
    if (end == start)
        return std::nullopt;
    if (syntax.exponent)
        end = exponentEnd(text, end);
    const ByteView number = text.substr(start, end - start);
    if (rounding == Rounding::TowardZero) {
        const std::uint64_t whole = wholeDigits(number);
        return static_cast<std::int64_t>(negative ? 0u - whole : whole);
    }
    const double value = valueOf(number);
    return roundHalfEven(negative ? -value : value);
}

} // namespace common
