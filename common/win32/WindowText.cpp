#include "common/win32/WindowText.h"

#include "common/Windows1252.h"

#include <commctrl.h>

#include <algorithm>

namespace common::win32 {

std::wstring Widen(ByteView text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text)
        wide.push_back(static_cast<wchar_t>(FromWindows1252(static_cast<unsigned char>(c))));
    return wide;
}

Bytes Narrow(std::wstring_view text)
{
    Bytes bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text)
        bytes.push_back(ToWindows1252(static_cast<char16_t>(c)));
    return bytes;
}

Bytes GetText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(std::max(0, length)) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(0, copied)));
    return Narrow(text);
}

void SetText(HWND window, ByteView text)
{
    SetWindowTextW(window, Widen(text).c_str());
}

int TextLength(HWND window)
{
    return GetWindowTextLengthW(window);
}

HWND CreateWindowWithText(DWORD exStyle, const char *className, ByteView text, DWORD style,
                          const Place &place, HWND parent, HMENU menuOrId, void *param)
{
    return CreateWindowExW(exStyle, Widen(className).c_str(), Widen(text).c_str(), style, place.x,
                           place.y, place.width, place.height, parent, menuOrId,
                           GetModuleHandleW(nullptr), param);
}

void AddListBoxString(HWND listBox, ByteView text)
{
    SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

Bytes ListBoxString(HWND listBox, int index)
{
    const auto length = SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(0, copied)));
    return Narrow(text);
}

void ReplaceSelection(HWND edit, ByteView text)
{
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Widen(text).c_str()));
}

void InsertListViewColumn(HWND list, int column, ByteView caption, int format)
{
    std::wstring text = Widen(caption);
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    info.fmt = format;
    info.pszText = text.data();
    info.iSubItem = column;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                 reinterpret_cast<LPARAM>(&info));
}

int InsertListViewRow(HWND list, int at, LPARAM key, ByteView firstCell)
{
    std::wstring text = Widen(firstCell);
    LVITEMW row{};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = at;
    row.lParam = key;
    row.pszText = text.data();
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

void SetListViewCell(HWND list, int row, int column, ByteView text)
{
    std::wstring cell = Widen(text);
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = cell.data();
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

Bytes ListViewCell(HWND list, int row, int column)
{
    // The list view says nothing of a cell's length: the buffer grows until the text fits.
    for (std::size_t size = 256;; size *= 4) {
        std::wstring buffer(size, L'\0');
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = static_cast<int>(size);
        const auto copied = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                         reinterpret_cast<LPARAM>(&item));
        if (copied < 0 || static_cast<std::size_t>(copied) + 1 < size || size > (1u << 24)) {
            buffer.resize(static_cast<std::size_t>(std::max<LRESULT>(0, copied)));
            return Narrow(buffer);
        }
    }
}

void AddToolTip(HWND tips, HWND owner, UINT_PTR id, ByteView text)
{
    std::wstring tip = Widen(text);
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = owner;
    tool.uId = id;
    tool.lpszText = tip.data();
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void AppendMenuText(HMENU menu, UINT flags, UINT_PTR item, ByteView caption)
{
    AppendMenuW(menu, flags, item, Widen(caption).c_str());
}

int ShowMessageBox(HWND owner, ByteView text, ByteView caption, UINT type)
{
    return MessageBoxW(owner, Widen(text).c_str(), Widen(caption).c_str(), type);
}

void DrawTextBytes(HDC dc, ByteView text, RECT &area, UINT format)
{
    std::wstring wide = Widen(text);
    DrawTextW(dc, wide.data(), static_cast<int>(wide.size()), &area, format);
}

int TextWidth(HDC dc, ByteView text)
{
    std::wstring wide = Widen(text);
    SIZE extent{};
    GetTextExtentPoint32W(dc, wide.data(), static_cast<int>(wide.size()), &extent);
    return extent.cx;
}

} // namespace common::win32
