#include "updater/app/StatusFit.h"

namespace updater {

namespace {

constexpr char kEllipsis = '\x85';

// The largest n in [0, most] for which fits(n) holds, when fits holds up to some n and not
// after it; -1 when it holds for none.
int largestFitting(int most, const std::function<bool(int)> &fits)
{
    int low = -1;
    int high = most;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (fits(middle))
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

} // namespace

common::Bytes FitStatusText(const common::Bytes &text, int width,
                            const std::function<int(const common::Bytes &)> &measure)
{
    using common::Bytes;
    if (measure(text) <= width)
        return text;
    // "Status: " and what is being done ("Downloading: ") are kept whole.
    std::size_t headEnd = 0;
    for (int colons = 0; colons < 2; ++colons) {
        const std::size_t colon = text.find(": ", headEnd);
        if (colon == Bytes::npos)
            break;
        headEnd = colon + 2;
    }
    // So is the percentage (" - 58%").
    std::size_t tailStart = text.size();
    if (!text.empty() && text.back() == '%') {
        const std::size_t dash = text.rfind(" - ");
        if (dash != Bytes::npos && dash >= headEnd)
            tailStart = dash;
    }
    const Bytes head = text.substr(0, headEnd);
    const Bytes body = text.substr(headEnd, tailStart - headEnd);
    const Bytes tail = text.substr(tailStart);
    const auto fits = [&](const Bytes &candidate) { return measure(candidate) <= width; };

    // First the folders go, from their end, down to none: "Maps\Tow\x85\Square.map".
    const std::size_t separator = body.find_last_of("\\/");
    if (separator != Bytes::npos) {
        const Bytes name = body.substr(separator);
        const auto withFolders = [&](int kept) {
            return head + body.substr(0, static_cast<std::size_t>(kept)) + kEllipsis + name + tail;
        };
        const int kept = largestFitting(static_cast<int>(separator),
                                        [&](int n) { return fits(withFolders(n)); });
        if (kept >= 0)
            return withFolders(kept);
    }
    // Then the beginning of the name: "\x85uare.map".
    const auto withEnd = [&](int kept) {
        return head + kEllipsis + body.substr(body.size() - static_cast<std::size_t>(kept)) + tail;
    };
    const int kept =
        largestFitting(static_cast<int>(body.size()), [&](int n) { return fits(withEnd(n)); });
    return withEnd(kept < 0 ? 0 : kept);
}

} // namespace updater
