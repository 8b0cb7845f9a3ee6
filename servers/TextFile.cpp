#include "servers/TextFile.h"

#include "common/AtomicFile.h"
#include "common/LeadingNumber.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace servers {

bool ReadTabFile(const std::string &path, std::vector<std::vector<Bytes>> &rows, std::string &error)
{
    rows.clear();
    QFile file(QString::fromStdString(path));
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    const QByteArray all = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    const Bytes content(all.constData(), static_cast<std::size_t>(all.size()));
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == Bytes::npos)
            end = content.size();
        Bytes line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#') {
            rows.emplace_back(); // keeps line numbers meaningful for warnings
            continue;
        }
        std::vector<Bytes> fields;
        std::size_t fieldStart = 0;
        while (true) {
            const std::size_t tab = line.find('\t', fieldStart);
            if (tab == Bytes::npos) {
                fields.push_back(line.substr(fieldStart));
                break;
            }
            fields.push_back(line.substr(fieldStart, tab - fieldStart));
            fieldStart = tab + 1;
        }
        rows.push_back(std::move(fields));
    }
    return true;
}

bool WriteTabFile(const std::string &path, const std::string &comment,
                  const std::vector<std::vector<Bytes>> &rows)
{
    Bytes content = "# " + comment + "\n";
    for (const auto &row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                content += '\t';
            content += row[i];
        }
        content += '\n';
    }
    const QString name = QString::fromStdString(path);
    QDir().mkpath(QFileInfo(name).absolutePath());
    return common::WriteFileAtomically(path, content) == common::AtomicWriteResult::Written;
}

std::optional<int> ParseDecimal(ByteView text)
{
    // The whole text is the number: digits only, at most nine of them.
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != ByteView::npos)
        return std::nullopt;
    return static_cast<int>(*common::LeadingNumber(text, common::Rounding::TowardZero));
}

Bytes ToHex(ByteView bytes)
{
    static const char *digits = "0123456789abcdef";
    Bytes out;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::optional<Bytes> FromHex(ByteView text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

} // namespace servers
