#pragma once

#include "common/Bytes.h"
#include "common/Colour.h"
#include "common/win32/WindowText.h"

#include <windows.h>

namespace registry::win32 {

// A label that acts as a button: dark background at rest, the window's colour while pressed,
// and its action on release of any mouse button, wherever the pointer is then (the label
// keeps the mouse from press to release). A disabled label gets no mouse input and shows its
// caption dimmed. The release goes to the parent as WM_COMMAND with the label's number and
// kReleased; a new caption is shown at once. From the keyboard it is a tab stop like a button
// (a dotted mark shows the focus), pressed by Space or Enter and released with the key.
// It is a system button drawn by the program (an owner-drawn BUTTON whose messages the label
// handles first), so that screen readers read its caption as a button's and can press it.
class LabelButton final
{
public:
    static constexpr WORD kReleased = 1;

    LabelButton(HWND parent, int id, common::ByteView caption, const common::win32::Place &place,
                HFONT font);
    ~LabelButton();
    LabelButton(const LabelButton &) = delete;
    LabelButton &operator=(const LabelButton &) = delete;

    HWND hwnd() const { return m_hwnd; }

    // The background now shown.
    common::Rgb background() const;

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void pressed(bool down);
    // WM_KEYDOWN and WM_KEYUP.
    LRESULT key(UINT message, WPARAM wParam, LPARAM lParam);
    // Tells the parent that the label was released.
    void released();
    void paint();

    HWND m_hwnd = nullptr;
    HFONT m_font;
    bool m_pressed = false;
};

} // namespace registry::win32
