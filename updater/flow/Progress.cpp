#include "updater/flow/Progress.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace updater {

Bytes FormatSize(float value)
{
    if (!std::isfinite(value))
        return "0";
    const double v = value;
    if (v == 0.0)
        return "0";
    // "%.6e" gives the 7 significant digits already rounded; rebuild them in plain notation.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6e", std::fabs(v));
    const std::string text(buffer);
    const auto e = text.find('e');
    std::string digits;
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.')
            digits.push_back(text[i]);
    }
    const int exponent = std::atoi(text.c_str() + e + 1);

    std::string whole;
    std::string fraction;
    if (exponent >= 0) {
        const auto wholeDigits = static_cast<std::size_t>(exponent) + 1;
        if (wholeDigits >= digits.size()) {
            whole = digits + std::string(wholeDigits - digits.size(), '0');
        } else {
            whole = digits.substr(0, wholeDigits);
            fraction = digits.substr(wholeDigits);
        }
    } else {
        whole = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();

    std::string out = v < 0 ? "-" : "";
    out += whole;
    if (!fraction.empty()) {
        out += '.';
        out += fraction[0];
    }
    return out;
}

ProgressDisplay FormatProgress(std::int64_t count, std::int64_t total, std::int64_t bytesLastSecond)
{
    ProgressDisplay out;
    if (total < 1) {
        out.barWidth = kBarWidth;
    } else {
        if (count > total)
            count = total;
        const auto fraction =
            static_cast<float>(static_cast<double>(count) / static_cast<double>(total));
        // A float times 295 or 100 is exact in double precision.
        out.barWidth = static_cast<int>(std::floor(static_cast<double>(fraction) * kBarWidth));
        const auto percent =
            static_cast<long long>(std::floor(static_cast<double>(fraction) * 100));
        out.percentSuffix = " - " + std::to_string(percent) + "%";
    }
    out.count = count;

    auto c = static_cast<float>(static_cast<double>(count) / 1024.0);
    auto t = static_cast<float>(static_cast<double>(total) / 1024.0);
    const char *sizeUnit = "KB";
    if (t >= 1024.0f) {
        c /= 1024.0f;
        t /= 1024.0f;
        sizeUnit = "MB";
    }
    auto s = static_cast<float>(static_cast<double>(bytesLastSecond) / 1024.0);
    const char *speedUnit = "KB";
    if (s >= 1024.0f) {
        s /= 1024.0f;
        speedUnit = "MB";
    }
    out.bytesText = FormatSize(c) + "/" + FormatSize(t) + " " + sizeUnit + " - " + FormatSize(s) +
                    speedUnit + "/s";
    return out;
}

} // namespace updater
