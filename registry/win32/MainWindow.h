#pragma once

#include "common/Bytes.h"
#include "common/Colour.h"
#include "common/win32/MessageWindow.h"
#include "common/win32/Window.h"
#include "registry/app/WindowDescription.h"

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <span>

namespace registry {
class DesktopNotifier;
class WindowController;
class WindowSurface;
} // namespace registry

namespace registry::win32 {

class ChatLog;
class DesktopNotice;
class LabelButton;
class PanelWindow;
class VersionWindow;

// The main window of the Registry program on the Windows API. It renders the window's
// description (registry/app/WindowDescription.h) with the controls' numbers as their
// identifiers, does what the application layer asks of it (surface()) and hands every input
// to the WindowController. The core's bytes reach the controls through common/win32/WindowText.
class MainWindow final : public common::win32::WindowBase
{
public:
    // `programFolder` holds the release notes of the version window.
    explicit MainWindow(Bytes programFolder);
    ~MainWindow() override;

    WindowSurface &surface();
    // Word on the desktop when a favourite comes online.
    DesktopNotifier &notifier();
    // From now on every input of the window goes to `controller`; then the window has loaded.
    void attach(WindowController &controller);
    void show();

    HMENU menu() const { return m_menu; }
    // Any control of the window by its number; null for an unknown one.
    HWND control(int id) const;
    HWND versionWindow() const;
    HWND headerToolTips() const { return m_tips; }
    // The columns' keys, index column first.
    static const char *columnKey(int column);
    // The background a label-button shows now.
    common::Rgb buttonColour(HWND label) const;
    // The dots per inch the window is laid out for.
    UINT dpi() const { return m_dpi; }
    // The chat log as lines joined by CR LF.
    Bytes chatLogText() const;
    const ChatLog &chatLog() const { return *m_chatLog; }

    // Where modal messages go: MessageBoxA with only OK and the program's title unless
    // replaced (tests record the text instead).
    using MessagePresenter = std::function<void(const Bytes &)>;
    void setMessagePresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }
    // Where the server list's context menu goes: TrackPopupMenu at `at` (screen), giving the
    // command chosen or 0, unless replaced (tests read the menu and choose instead).
    using MenuTracker = std::function<UINT(HMENU menu, POINT at)>;
    void setMenuTracker(MenuTracker tracker) { m_menuTracker = std::move(tracker); }

private:
    class Surface;

    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // WM_COMMAND of a menu item or of the control `from`.
    void command(int id, int code, HWND from);
    LRESULT notify(const NMHDR &header);
    void serverListNotify(const NMHDR &header);
    // The server list's header; TRUE refuses a change.
    LRESULT headerNotify(const NMHDR &header);
    LRESULT colourStatic(HDC dc, HWND control);
    static LRESULT CALLBACK enterBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR self);
    bool enterBoxKey(HWND box, UINT message, WPARAM wParam);
    // The server list's menu key, Shift+F10 and Ctrl+D; true when the key was taken.
    bool serverListKey(UINT message, WPARAM wParam);
    // The server list's context menu at `at` (screen) for the row there; from the keyboard
    // (`at` -1, -1) for the chosen row, beside it.
    void serverMenu(POINT at);
    void createFindRow();
    // The key of a row of the server list (the server's index).
    std::optional<int> rowKey(int item) const;

    void createFonts();
    // A length, a place of the 96-DPI layout at the window's scale.
    int px(int length) const;
    common::win32::Place scaled(const common::win32::Place &place) const;
    // The outer size of the main window for an inside of this size at 96 DPI.
    SIZE frameSize(int clientWidth, int clientHeight) const;
    // Keeps the window within its display's work area where the layout at the display's
    // scale is larger than it (a small laptop screen at 125 %), down to the smallest size.
    void fitIntoWorkArea();
    // Fonts, places and the layout for `dpi`; `suggested`: the window's new place, if any.
    void applyDpi(UINT dpi, const RECT *suggested);
    // Places are given at 96 DPI; the window scales them.
    HWND create(const char *cls, ByteView text, DWORD style, HWND parent, int id,
                const common::win32::Place &place, DWORD exStyle = 0);
    HWND caption(ByteView text, HWND parent, const common::win32::Place &place, int id = 0);
    HWND textBox(int id, int limit, HWND parent, const common::win32::Place &place,
                 bool password = false);
    void setBold(HWND control);
    void labelButton(int id, HWND parent, const common::win32::Place &place);
    void createControls();
    void createStatusArea();
    void createServerList();
    void createChatArea();
    void createPanel(const PanelInfo &info);
    // A panel's form, top to bottom: fields with their captions, notes, the check box, buttons.
    void buildForm(HWND panel, std::span<const FormItem> items);
    void buildCredits(HWND panel);
    void createMenus();
    void showVersionWindow();
    void layout(int width, int height);
    void sizeServerColumns();
    void updateHeaderTips();

    Bytes m_programFolder;
    // Work posted from the application layer runs from the message loop through this.
    common::MessageWindow m_posted;
    std::unique_ptr<Surface> m_surface;
    MessagePresenter m_presenter;
    MenuTracker m_menuTracker;
    std::unique_ptr<DesktopNotice> m_notice;
    bool m_choosing = false; // the program chooses a row: no choice is reported back
    // Set by attach(); the window is shown, and takes input, only after it.
    WindowController *m_controller = nullptr;

    HMENU m_menu = nullptr;
    HWND m_tips = nullptr;
    UINT m_dpi = 96;
    HFONT m_font = nullptr;
    HFONT m_bold = nullptr;
    HBRUSH m_windowBrush = nullptr;
    HBRUSH m_panelBrush = nullptr;
    std::map<int, HWND> m_controls;
    // Each control the window made, with its place at 96 DPI and its font, for a new scale.
    struct Placed
    {
        common::win32::Place place;
        bool bold = false;
    };
    std::map<HWND, Placed> m_placed;
    std::map<int, common::Rgb> m_textColours; // captions of a colour other than the usual one
    std::map<HWND, std::unique_ptr<LabelButton>> m_labelButtons;
    std::unique_ptr<ChatLog> m_chatLog;
    std::unique_ptr<PanelWindow> m_statusArea;
    std::array<std::unique_ptr<PanelWindow>, kPanelCount> m_panels;
    std::unique_ptr<VersionWindow> m_version;
};

} // namespace registry::win32
