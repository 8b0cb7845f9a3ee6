#include "registry/win32/ChatLog.h"

#include "common/win32/Fonts.h"
#include "common/win32/Win32Colour.h"
#include "common/win32/WindowText.h"
#include "registry/app/WindowDescription.h"

#include <algorithm>
#include <vector>

namespace registry::win32 {

namespace {

constexpr const char *kClassName = "TalmoraRegistryChatLog";
// A tab is as wide as this many blanks.
constexpr int kTabBlanks = 4;

int clientWidth(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return client.right;
}

int clientHeight(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return client.bottom;
}

} // namespace

ChatLog::ChatLog(HWND parent, int id, HFONT font)
{
    create(kClassName, false, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL, WS_EX_CLIENTEDGE,
           {0, 0, 10, 10}, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    setFont(font);
    relayout();
}

ChatLog::~ChatLog()
{
    destroy();
}

void ChatLog::append(common::ByteView lines, bool marked)
{
    const std::size_t rowsBefore = m_log.rowCount();
    const std::size_t linesBefore = m_log.lineCount();
    m_log.append(lines);
    if (marked && m_log.lineCount() > linesBefore) {
        if (!m_marked.empty() && m_marked.back().second == linesBefore)
            m_marked.back().second = m_log.lineCount();
        else
            m_marked.emplace_back(linesBefore, m_log.lineCount());
    }
    const bool newRowsInView = rowsBefore < m_top + pageRows();
    if (m_following)
        m_top = lastTop();
    updateScrollBar();
    if (m_following || newRowsInView)
        InvalidateRect(hwnd(), nullptr, FALSE);
}

bool ChatLog::marked(std::size_t line) const
{
    const auto after =
        std::upper_bound(m_marked.begin(), m_marked.end(), line,
                         [](std::size_t at, const std::pair<std::size_t, std::size_t> &run) {
                             return at < run.first;
                         });
    return after != m_marked.begin() && line < std::prev(after)->second;
}

std::pair<std::size_t, std::size_t> ChatLog::selection() const
{
    return {std::min(m_anchor, m_caret), std::max(m_anchor, m_caret)};
}

void ChatLog::setFont(HFONT font)
{
    m_font = font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HDC dc = GetDC(hwnd());
    HGDIOBJ before = SelectObject(dc, m_font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    m_rowHeight = std::max(1, static_cast<int>(metrics.tmHeight));
    // The glyph and the width of every byte, looked up once: drawing then needs no text
    // processing at all. A tab is drawn as a blank.
    std::wstring chars;
    for (int byte = 0; byte < 256; ++byte)
        chars += byte == '\t' ? L' ' : common::win32::Widen(common::Bytes(1, char(byte)))[0];
    GetGlyphIndicesW(dc, chars.c_str(), 256, m_glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    for (WORD &glyph : m_glyphs)
        if (glyph == 0xFFFF)
            glyph = 0; // the font's mark for a character it lacks
    std::array<INT, 256> widths{};
    if (!GetCharWidthI(dc, 0, 256, m_glyphs.data(), widths.data()))
        widths.fill(metrics.tmAveCharWidth);
    for (int byte = 0; byte < 256; ++byte)
        m_widths[static_cast<std::size_t>(byte)] =
            std::max(1, widths[static_cast<std::size_t>(byte)]);
    m_widths['\t'] = kTabBlanks * m_widths[' '];
    SelectObject(dc, before);
    ReleaseDC(hwnd(), dc);
}

int ChatLog::margin() const
{
    return common::win32::Scaled(2, common::win32::WindowDpi(hwnd()));
}

void ChatLog::relayout()
{
    const std::size_t topLine = m_log.lineCount() ? m_log.lineOfRow(m_top) : 0;
    m_layoutWidth = clientWidth(hwnd());
    m_log.setLayout(m_widths, m_layoutWidth - 2 * margin());
    // The line at the top stays at the top, and a log showing its end keeps showing it.
    m_top = m_following || !m_log.lineCount() ? lastTop()
                                              : std::min(m_log.firstRow(topLine), lastTop());
    updateScrollBar();
    InvalidateRect(hwnd(), nullptr, FALSE);
}

std::size_t ChatLog::pageRows() const
{
    return static_cast<std::size_t>(std::max(1, clientHeight(hwnd()) / m_rowHeight));
}

std::size_t ChatLog::lastTop() const
{
    const std::size_t page = pageRows();
    return m_log.rowCount() > page ? m_log.rowCount() - page : 0;
}

void ChatLog::scrollTo(std::size_t top)
{
    top = std::min(top, lastTop());
    m_following = top == lastTop();
    if (top == m_top)
        return;
    m_top = top;
    updateScrollBar();
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void ChatLog::updateScrollBar()
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL | SIF_DISABLENOSCROLL;
    info.nMax = static_cast<int>(std::max<std::size_t>(m_log.rowCount(), 1) - 1);
    info.nPage = static_cast<UINT>(pageRows());
    info.nPos = static_cast<int>(m_top);
    SetScrollInfo(hwnd(), SB_VERT, &info, TRUE);
}

void ChatLog::onScroll(WORD request)
{
    const std::size_t page = pageRows();
    switch (request) {
    case SB_LINEUP:
        scrollTo(m_top > 0 ? m_top - 1 : 0);
        break;
    case SB_LINEDOWN:
        scrollTo(m_top + 1);
        break;
    case SB_PAGEUP:
        scrollTo(m_top > page ? m_top - page : 0);
        break;
    case SB_PAGEDOWN:
        scrollTo(m_top + page);
        break;
    case SB_TOP:
        scrollTo(0);
        break;
    case SB_BOTTOM:
        scrollTo(lastTop());
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(hwnd(), SB_VERT, &info);
        scrollTo(static_cast<std::size_t>(std::max(0, info.nTrackPos)));
        break;
    }
    default:
        break;
    }
}

bool ChatLog::onKey(WPARAM key)
{
    const WORD requests[][2] = {{VK_UP, SB_LINEUP},    {VK_DOWN, SB_LINEDOWN},
                                {VK_PRIOR, SB_PAGEUP}, {VK_NEXT, SB_PAGEDOWN},
                                {VK_HOME, SB_TOP},     {VK_END, SB_BOTTOM}};
    for (const auto &request : requests) {
        if (request[0] == key) {
            onScroll(request[1]);
            return true;
        }
    }
    return false;
}

void ChatLog::onWheel(short delta)
{
    UINT perNotch = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
    if (perNotch == WHEEL_PAGESCROLL)
        perNotch = static_cast<UINT>(pageRows());
    const long rows = -static_cast<long>(delta) * static_cast<long>(perNotch) / WHEEL_DELTA;
    if (rows < 0)
        scrollTo(m_top > static_cast<std::size_t>(-rows) ? m_top - static_cast<std::size_t>(-rows)
                                                         : 0);
    else
        scrollTo(m_top + static_cast<std::size_t>(rows));
}

std::size_t ChatLog::offsetAt(POINT point) const
{
    if (point.y < 0 && m_top == 0)
        return 0;
    const std::size_t row = m_top + static_cast<std::size_t>(std::max(0L, point.y) / m_rowHeight);
    if (row >= m_log.rowCount())
        return m_log.text().size();
    return m_log.offsetAt(m_log.rows(row, 1).front(), point.x - margin());
}

void ChatLog::onMouse(UINT message, LPARAM lParam)
{
    const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_LBUTTONDOWN:
        SetFocus(hwnd());
        SetCapture(hwnd());
        m_selecting = true;
        select((GetKeyState(VK_SHIFT) < 0) ? m_anchor : offsetAt(point), offsetAt(point));
        break;
    case WM_MOUSEMOVE:
        if (!m_selecting)
            break;
        // Dragging past the top or the bottom scrolls on.
        if (point.y < 0)
            scrollTo(m_top > 0 ? m_top - 1 : 0);
        else if (point.y >= clientHeight(hwnd()))
            scrollTo(m_top + 1);
        select(m_anchor, offsetAt(point));
        break;
    case WM_LBUTTONUP:
        m_selecting = false;
        if (GetCapture() == hwnd())
            ReleaseCapture();
        break;
    default:
        break;
    }
}

void ChatLog::select(std::size_t anchor, std::size_t caret)
{
    if (anchor == m_anchor && caret == m_caret)
        return;
    m_anchor = anchor;
    m_caret = caret;
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void ChatLog::copy() const
{
    const auto [begin, end] = selection();
    if (begin == end || !OpenClipboard(hwnd()))
        return;
    const std::wstring text =
        common::win32::Widen(common::ByteView(m_log.text()).substr(begin, end - begin));
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void *to = GlobalLock(memory)) {
            std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t *>(to));
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_UNICODETEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

LRESULT ChatLog::copyText(char *to, std::size_t room) const
{
    // The window's text, for screen readers and other programs: the log's bytes, which the
    // system turns into UTF-16 with the system's code page when asked for it.
    if (!to || room == 0)
        return 0;
    const std::size_t copied = m_log.text().copy(to, room - 1);
    to[copied] = '\0';
    return static_cast<LRESULT>(copied);
}

void ChatLog::contextMenu(LPARAM lParam)
{
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) { // from the keyboard: at the log's corner
        at = {0, 0};
        ClientToScreen(hwnd(), &at);
    }
    HMENU menu = CreatePopupMenu();
    const auto [begin, end] = selection();
    common::win32::AppendMenuText(menu, MF_STRING | (begin == end ? MF_GRAYED : 0), kCopy, "&Copy");
    common::win32::AppendMenuText(menu, MF_STRING, kSelectAll, "Select &All");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    common::win32::AppendMenuText(menu, MF_STRING | (m_timesChecked ? MF_CHECKED : 0), kShowTimes,
                                  kShowTimesCaption);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
    DestroyMenu(menu);
}

void ChatLog::paint()
{
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd(), &ps);
    HGDIOBJ before = SelectObject(dc, m_font);
    RECT client{};
    GetClientRect(hwnd(), &client);
    int y = 0;
    for (const auto &row : m_log.rows(m_top, pageRows() + 1)) {
        if (y + m_rowHeight > ps.rcPaint.top && y < ps.rcPaint.bottom)
            drawRow(dc, row, y, client.right);
        y += m_rowHeight;
    }
    RECT rest{0, y, client.right, client.bottom};
    FillRect(dc, &rest, GetSysColorBrush(COLOR_WINDOW));
    if (GetFocus() == hwnd())
        DrawFocusRect(dc, &client);
    SelectObject(dc, before);
    EndPaint(hwnd(), &ps);
}

void ChatLog::drawRow(HDC dc, const common::WrappedLog::Row &row, int y, int right)
{
    const auto [selBegin, selEnd] = selection();
    const bool markedRow = marked(row.line);
    const std::size_t cuts[] = {row.begin, std::clamp(selBegin, row.begin, row.end),
                                std::clamp(selEnd, row.begin, row.end), row.end};
    RECT area{0, y, margin(), y + m_rowHeight};
    FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
    for (int run = 0; run < 3; ++run) {
        if (cuts[run] == cuts[run + 1])
            continue;
        area.left = area.right;
        area.right = area.left + m_log.width(cuts[run], cuts[run + 1]);
        drawRun(dc, cuts[run], cuts[run + 1], area, run == 1, markedRow);
    }
    area.left = area.right;
    area.right = std::max<LONG>(right, area.left);
    FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
}

void ChatLog::drawRun(HDC dc, std::size_t begin, std::size_t end, RECT area, bool selected,
                      bool marked)
{
    std::vector<WORD> glyphs;
    std::vector<INT> advances;
    glyphs.reserve(end - begin);
    advances.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        const auto byte = static_cast<unsigned char>(m_log.text()[i]);
        glyphs.push_back(m_glyphs[byte]);
        advances.push_back(m_widths[byte]);
    }
    SetBkColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                     : marked ? common::win32::ToColorRef(kMentionColour)
                              : GetSysColor(COLOR_WINDOWTEXT));
    // Glyph numbers: the text is drawn as it is laid out, without any shaping.
    ExtTextOutW(dc, area.left, area.top, ETO_GLYPH_INDEX | ETO_OPAQUE | ETO_CLIPPED, &area,
                reinterpret_cast<LPCWSTR>(glyphs.data()), static_cast<UINT>(glyphs.size()),
                advances.data());
}

void ChatLog::resized()
{
    if (clientWidth(hwnd()) != m_layoutWidth) {
        relayout();
        return;
    }
    m_top = m_following ? lastTop() : std::min(m_top, lastTop());
    updateScrollBar();
    InvalidateRect(hwnd(), nullptr, FALSE);
}

bool ChatLog::onInput(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        return onKey(wParam);
    case WM_CHAR:
        if (wParam == 1) // Ctrl+A
            select(0, m_log.text().size());
        else if (wParam == 3) // Ctrl+C
            copy();
        return true;
    case WM_COPY:
        copy();
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == kCopy)
            copy();
        else if (LOWORD(wParam) == kSelectAll)
            select(0, m_log.text().size());
        else if (LOWORD(wParam) == kShowTimes && m_timesHandler)
            m_timesHandler();
        return true;
    case WM_CONTEXTMENU:
        contextMenu(lParam);
        return true;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        onMouse(message, lParam);
        return true;
    case WM_CAPTURECHANGED:
        m_selecting = false;
        return true;
    default:
        return false;
    }
}

LRESULT ChatLog::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        resized();
        return 0;
    case WM_SETFONT:
        setFont(reinterpret_cast<HFONT>(wParam));
        relayout();
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(m_font);
    case WM_VSCROLL:
        onScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        onWheel(static_cast<short>(HIWORD(wParam)));
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(m_log.text().size());
    case WM_GETTEXT:
        return copyText(reinterpret_cast<char *>(lParam), static_cast<std::size_t>(wParam));
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(hwnd(), nullptr, FALSE);
        return 0;
    default:
        if (onInput(message, wParam, lParam))
            return 0;
        return WindowBase::onMessage(message, wParam, lParam);
    }
}

} // namespace registry::win32
