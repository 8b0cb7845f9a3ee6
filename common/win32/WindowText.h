#pragma once

#include "common/Bytes.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace common::win32 {

// The one place where the programs' bytes become the text of a window, a control, a menu or a
// drawing, and where such text becomes bytes again. The bytes are the Windows-1252 text the
// cores hold (much of it from servers and other players): they are turned into UTF-16 by that
// code page, whatever the system's own code page, and reach the system through the wide ("W")
// functions only. Text the user typed comes back as the same bytes for every character the
// code page has, and "?" for any other. Controls of the system's classes created here are
// Unicode windows.

std::wstring Widen(ByteView text);
Bytes Narrow(std::wstring_view text);

Bytes GetText(HWND window);
void SetText(HWND window, ByteView text);
// The length of a window's text in characters (one per byte of its Bytes).
int TextLength(HWND window);
// Where a new window goes; CW_USEDEFAULT lets the system choose.
struct Place
{
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int width = CW_USEDEFAULT;
    int height = CW_USEDEFAULT;
};
// Creates a window with its first text. `menuOrId` is a top-level window's menu or a child
// window's control number; `param` reaches WM_NCCREATE and WM_CREATE.
HWND CreateWindowWithText(DWORD exStyle, const char *className, ByteView text, DWORD style,
                          const Place &place, HWND parent, HMENU menuOrId, void *param = nullptr);

// List box: a string at the end, and the string of an item.
void AddListBoxString(HWND listBox, ByteView text);
Bytes ListBoxString(HWND listBox, int index);
// Edit box: the text replaces the selection (at the end when the selection is there).
void ReplaceSelection(HWND edit, ByteView text);

// List view in report mode: a column, a row with its first cell and its key, another cell.
void InsertListViewColumn(HWND list, int column, ByteView caption, int format);
int InsertListViewRow(HWND list, int at, LPARAM key, ByteView firstCell);
void SetListViewCell(HWND list, int row, int column, ByteView text);
Bytes ListViewCell(HWND list, int row, int column);
// A tool of a tool-tip window: the part `id` of `owner`, with its text.
void AddToolTip(HWND tips, HWND owner, UINT_PTR id, ByteView text);

void AppendMenuText(HMENU menu, UINT flags, UINT_PTR item, ByteView caption);
int ShowMessageBox(HWND owner, ByteView text, ByteView caption, UINT type);

// Drawing with the font selected into `dc`.
void DrawTextBytes(HDC dc, ByteView text, RECT &area, UINT format);
int TextWidth(HDC dc, ByteView text);

} // namespace common::win32
