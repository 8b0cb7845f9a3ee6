#pragma once

#include <windows.h>

#include <functional>

namespace common {

// A hidden message-only window owned by one adapter: it receives the socket, timer and
// hand-back messages of that adapter on the thread that created it.
class MessageWindow
{
public:
    // Messages below kFirstOwnMessage are free for the owner; call() uses one above them.
    static constexpr UINT kFirstOwnMessage = WM_APP + 0x100;

    using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;
    explicit MessageWindow(Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow &) = delete;
    MessageWindow &operator=(const MessageWindow &) = delete;

    HWND handle() const { return m_window; }

    // Runs `work` on the window's thread from its message loop (also a nested one). May be
    // called from any thread while the window exists. Returns false when the message could
    // not be queued (the work is dropped then).
    bool call(std::function<void()> work) const;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Handler m_handler;
    HWND m_window = nullptr;
};

} // namespace common
