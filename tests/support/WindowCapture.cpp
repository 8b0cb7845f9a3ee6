#include "tests/support/WindowCapture.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace testsupport {

namespace {

void putBigEndian(std::string &out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void putChunk(std::string &out, const char *type, const std::string &data)
{
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    putBigEndian(out,
                 static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(typed.data()),
                                                  static_cast<uInt>(typed.size()))));
}

} // namespace

bool CaptureWindowPng(HWND window, const std::string &path)
{
    // What the program draws: its client area and, above it, its menu bar. The frame and
    // caption are left out: without a window manager nobody draws them.
    RECT area{};
    if (!GetClientRect(window, &area))
        return false;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    RECT shown{origin.x, origin.y, origin.x + area.right, origin.y + area.bottom};
    MENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    if (GetMenu(window) && GetMenuBarInfo(window, OBJID_MENU, 0, &bar) &&
        bar.rcBar.bottom > bar.rcBar.top)
        shown.top = std::min(shown.top, bar.rcBar.top);
    const int width = shown.right - shown.left;
    const int height = shown.bottom - shown.top;
    if (width <= 0 || height <= 0)
        return false;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !dc) {
        if (dc)
            DeleteDC(dc);
        return false;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    // What the window shows on the screen, its controls included (drawing the window into
    // a bitmap of its own leaves the child controls out under some systems).
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    HDC screenDc = GetDC(nullptr);
    bool drawn = BitBlt(dc, 0, 0, width, height, screenDc, shown.left, shown.top, SRCCOPY) != FALSE;
    ReleaseDC(nullptr, screenDc);
    GdiFlush();

    // Each row: filter type 0, then red, green and blue per pixel (the DIB holds B G R x).
    std::string raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
    const auto *pixels = static_cast<const std::uint8_t *>(bits);
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        const std::uint8_t *row = pixels + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            raw += static_cast<char>(row[4 * x + 2]);
            raw += static_cast<char>(row[4 * x + 1]);
            raw += static_cast<char>(row[4 * x]);
        }
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    if (!drawn)
        return false;

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<Bytef> packed(packedSize);
    if (compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef *>(raw.data()),
                  static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    putBigEndian(header, static_cast<std::uint32_t>(width));
    putBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", std::string(reinterpret_cast<const char *>(packed.data()), packedSize));
    putChunk(png, "IEND", "");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(out.flush());
}

} // namespace testsupport
