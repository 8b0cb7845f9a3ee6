#pragma once

#include "common/Bytes.h"
#include "common/WrappedLog.h"
#include "common/win32/Window.h"

#include <windows.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

namespace registry::win32 {

// The chat log: a read-only view of lines of Windows-1252 bytes, drawn row by row with the
// font's glyphs (no text shaping, so no byte sequence from a server can upset the drawing),
// wrapped at its width as a text box with word wrap does. It draws only the rows in view, so a
// line added costs the same however long the log is; after an addition it shows the newest
// line, unless the player has scrolled up to read. Scroll bar, wheel, the arrow keys, Page Up
// and Down, Home and End; the mouse selects, Ctrl+C (or WM_COPY, or the context menu) copies
// and Ctrl+A selects all; the context menu also turns the chat's times on or off. Marked lines
// are drawn in the mention colour. It draws with the font WM_SETFONT gives it.
class ChatLog final : public common::win32::WindowBase
{
public:
    // Context menu items, also taken as WM_COMMAND.
    static constexpr int kCopy = 1;
    static constexpr int kSelectAll = 2;
    static constexpr int kShowTimes = 3;

    ChatLog(HWND parent, int id, HFONT font);
    ~ChatLog() override;

    // Lines joined by CR LF at the end of the log (marked: in the mention colour).
    void append(common::ByteView lines, bool marked = false);
    // Whether a line is drawn in the mention colour.
    bool marked(std::size_t line) const;
    // "Show Times" in the context menu: ticked or not, and what choosing it does.
    void setTimesChecked(bool checked) { m_timesChecked = checked; }
    bool timesChecked() const { return m_timesChecked; }
    void setTimesHandler(std::function<void()> handler) { m_timesHandler = std::move(handler); }
    // The whole log: the lines joined by CR LF.
    const common::Bytes &text() const { return m_log.text(); }
    // The selection as [begin, end) of text().
    std::pair<std::size_t, std::size_t> selection() const;
    // The first row in view, and how many rows the log has.
    std::size_t topRow() const { return m_top; }
    std::size_t rowCount() const { return m_log.rowCount(); }

private:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void setFont(HFONT font);
    // Lays out every line again for the font and width now.
    void relayout();
    void resized();
    // Keys, mouse and commands; false for a message that is none of them.
    bool onInput(UINT message, WPARAM wParam, LPARAM lParam);
    std::size_t pageRows() const;
    std::size_t lastTop() const;
    void scrollTo(std::size_t top);
    void updateScrollBar();
    void onScroll(WORD request);
    bool onKey(WPARAM key);
    void onWheel(short delta);
    void onMouse(UINT message, LPARAM lParam);
    std::size_t offsetAt(POINT point) const;
    void select(std::size_t anchor, std::size_t caret);
    void copy() const;
    LRESULT copyText(char *to, std::size_t room) const;
    void contextMenu(LPARAM lParam);
    void paint();
    void drawRow(HDC dc, const common::WrappedLog::Row &row, int y, int right);
    void drawRun(HDC dc, std::size_t begin, std::size_t end, RECT area, bool selected, bool marked);
    int margin() const;

    common::WrappedLog m_log;
    HFONT m_font = nullptr;
    std::array<WORD, 256> m_glyphs{};
    common::WrappedLog::Widths m_widths{};
    int m_rowHeight = 16;
    int m_layoutWidth = -1;
    std::size_t m_top = 0;
    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    bool m_selecting = false;
    // Whether the newest line is in view; it stays in view as lines are added.
    bool m_following = true;
    // The marked lines as runs [first, end) of line numbers, in order: nothing for the lines
    // that are not marked, one entry for a run of marked lines however long.
    std::vector<std::pair<std::size_t, std::size_t>> m_marked;
    bool m_timesChecked = false;
    std::function<void()> m_timesHandler;
};

} // namespace registry::win32
