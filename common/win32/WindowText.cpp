#include "common/win32/WindowText.h"

#include <commctrl.h>

#include <algorithm>

namespace common::win32 {

namespace {

// The text as the ANSI functions take it: the bytes themselves, ended by a NUL.
std::string ansi(ByteView text)
{
    return std::string(text);
}

} // namespace

Bytes GetText(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    Bytes text(static_cast<std::size_t>(std::max(0, length)) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(0, copied)));
    return text;
}

void SetText(HWND window, ByteView text)
{
    SetWindowTextA(window, ansi(text).c_str());
}

HWND CreateWindowWithText(DWORD exStyle, const char *className, ByteView text, DWORD style,
                          const Place &place, HWND parent, HMENU menuOrId, void *param)
{
    return CreateWindowExA(exStyle, className, ansi(text).c_str(), style, place.x, place.y,
                           place.width, place.height, parent, menuOrId, GetModuleHandleA(nullptr),
                           param);
}

void AddListBoxString(HWND listBox, ByteView text)
{
    SendMessageA(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ansi(text).c_str()));
}

Bytes ListBoxString(HWND listBox, int index)
{
    const auto length = SendMessageA(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return {};
    Bytes text(static_cast<std::size_t>(length) + 1, '\0');
    const auto copied = SendMessageA(listBox, LB_GETTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(0, copied)));
    return text;
}

void ReplaceSelection(HWND edit, ByteView text)
{
    SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(ansi(text).c_str()));
}

void InsertListViewColumn(HWND list, int column, ByteView caption, int format)
{
    std::string text = ansi(caption);
    LVCOLUMNA info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    info.fmt = format;
    info.pszText = text.data();
    info.iSubItem = column;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&info));
}

int InsertListViewRow(HWND list, int at, LPARAM key, ByteView firstCell)
{
    std::string text = ansi(firstCell);
    LVITEMA row{};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = at;
    row.lParam = key;
    row.pszText = text.data();
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row)));
}

void SetListViewCell(HWND list, int row, int column, ByteView text)
{
    std::string cell = ansi(text);
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = cell.data();
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void AddToolTip(HWND tips, HWND owner, UINT_PTR id, ByteView text)
{
    std::string tip = ansi(text);
    TOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = owner;
    tool.uId = id;
    tool.lpszText = tip.data();
    SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void AppendMenuText(HMENU menu, UINT flags, UINT_PTR item, ByteView caption)
{
    AppendMenuA(menu, flags, item, ansi(caption).c_str());
}

int ShowMessageBox(HWND owner, ByteView text, ByteView caption, UINT type)
{
    return MessageBoxA(owner, ansi(text).c_str(), ansi(caption).c_str(), type);
}

void DrawTextBytes(HDC dc, ByteView text, RECT &area, UINT format)
{
    DrawTextA(dc, text.data(), static_cast<int>(text.size()), &area, format);
}

int TextWidth(HDC dc, ByteView text)
{
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent);
    return extent.cx;
}

} // namespace common::win32
