#include "registry/win32/VersionWindow.h"

#include "common/win32/Fonts.h"
#include "common/win32/WindowText.h"
#include "registry/app/WindowDescription.h"
#include "registry/support/ReleaseNotes.h"

#include <algorithm>

namespace registry::win32 {

namespace {

constexpr const char *kClassName = "TalmoraRegistryVersion";
constexpr int kNotesId = 1;

} // namespace

VersionWindow::VersionWindow(const common::Bytes &programFolder, HFONT font, UINT dpi) : m_dpi(dpi)
{
    create(kClassName, true, VersionWindowTitle(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
           {.width = px(kVersionWidth), .height = px(kVersionHeight)});
    common::AppendWithCrLf(m_text, ReadReleaseNotes(programFolder));
    m_notes = common::win32::CreateWindowWithText(
        WS_EX_CLIENTEDGE, "EDIT", "",
        // The window is as wide as the widest line: no horizontal scroll bar to show.
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL |
            ES_AUTOVSCROLL,
        {0, 0, 10, 10}, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNotesId)));
    SendMessageA(m_notes, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageA(m_notes, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    common::win32::SetText(m_notes, m_text);
    fitWidthToNotes(font);
}

int VersionWindow::px(int length) const
{
    return common::win32::Scaled(length, m_dpi);
}

void VersionWindow::setFont(HFONT font, UINT dpi)
{
    m_dpi = dpi;
    SendMessageA(m_notes, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    fitWidthToNotes(font);
}

VersionWindow::~VersionWindow()
{
    destroy();
}

void VersionWindow::fitWidthToNotes(HFONT font)
{
    const common::Bytes &notes = m_text;
    HDC dc = GetDC(m_notes);
    HGDIOBJ old = SelectObject(dc, font);
    int widest = 0;
    std::size_t start = 0;
    while (start <= notes.size()) {
        std::size_t end = notes.find("\r\n", start);
        if (end == common::Bytes::npos)
            end = notes.size();
        widest = std::max(widest, common::win32::TextWidth(
                                      dc, common::ByteView(notes).substr(start, end - start)));
        start = end + 2;
    }
    SelectObject(dc, old);
    ReleaseDC(m_notes, dc);
    const int chrome = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) +
                       px(kVersionMarginLeft + kVersionMarginRight + 8);
    RECT frame{0, 0, std::max(px(kVersionWidth), widest + chrome), px(kVersionHeight)};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    SetWindowPos(hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void VersionWindow::show()
{
    ShowWindow(hwnd(), SW_SHOW);
    SetWindowPos(hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

LRESULT VersionWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND) {
        // The margins around the notes in the colour of a dialog.
        RECT client{};
        GetClientRect(hwnd(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (message == WM_SIZE) {
        MoveWindow(GetDlgItem(hwnd(), kNotesId), px(kVersionMarginLeft), px(kVersionMarginTop),
                   std::max(0, LOWORD(lParam) - px(kVersionMarginLeft + kVersionMarginRight)),
                   std::max(0, HIWORD(lParam) - px(kVersionMarginTop + kVersionMarginBottom)),
                   TRUE);
        return 0;
    }
    return WindowBase::onMessage(message, wParam, lParam);
}

} // namespace registry::win32
