#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <optional>

namespace common {

// How a number with a fraction becomes a whole one.
enum class Rounding
{
    // Nearest whole number, halves to the even neighbour, clamped to the 64-bit range.
    HalfToEven,
    // The whole digits only; a number past the 64-bit range wraps around, as the system's own
    // readers of such texts do.
    TowardZero,
};

// What may stand around the digits.
struct NumberSyntax
{
    bool leadingBlanks = false; // blanks, tabs and line breaks before the number are skipped
    bool fraction = true;       // a "." with digits may follow or lead the whole digits
    bool exponent = false;      // "e", "E", "d" or "D", an optional sign and digits follow
};

// The number a text begins with: an optional sign, digits, and what `syntax` allows (a
// fraction may have digits on one side only: "5." and ".5"). Anything else ends the
// number. Empty when the text begins with no number.
std::optional<std::int64_t> LeadingNumber(ByteView text, Rounding rounding,
                                          NumberSyntax syntax = {});

// The number a text begins with as a number box reads it: blanks before it skipped, a
// fraction and an exponent allowed, rounded to the nearest whole number with halves to the
// even neighbour; 0 when the text begins with no number. "2600.5" -> 2600, "2601.5" -> 2602,
// "abc" -> 0. 64-bit, so that callers can refuse values outside the range they take.
std::int64_t LeadingNumberRounded(ByteView text);

} // namespace common
