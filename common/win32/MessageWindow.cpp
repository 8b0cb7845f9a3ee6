#include "common/win32/MessageWindow.h"

#include "common/win32/Win32CoreTimer.h"

#include <memory>
#include <stdexcept>

namespace common {

namespace {

constexpr UINT kCallMessage = MessageWindow::kFirstOwnMessage;
constexpr const char *kClassName = "TalmoraMessageWindow";

// Registered once per process; the class lives until the process ends.
bool registerClass(WNDPROC procedure)
{
    static const bool registered = [procedure] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClassName;
        return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

} // namespace

MessageWindow::MessageWindow(Handler handler) : m_handler(std::move(handler))
{
    if (!registerClass(&MessageWindow::procedure))
        throw std::runtime_error("the message window class could not be registered");
    m_window = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    if (!m_window)
        throw std::runtime_error("a message window could not be created");
    SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageWindow::~MessageWindow()
{
    SetWindowLongPtrA(m_window, GWLP_USERDATA, 0);
    // Work handed in but not run is freed, not leaked.
    MSG message;
    while (PeekMessageA(&message, m_window, kCallMessage, kCallMessage, PM_REMOVE))
        delete reinterpret_cast<std::function<void()> *>(message.lParam);
    DestroyWindow(m_window);
}

bool MessageWindow::call(std::function<void()> work) const
{
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    if (!PostMessageA(m_window, kCallMessage, 0, reinterpret_cast<LPARAM>(owned.get())))
        return false;
    owned.release(); // the message owns it now
    return true;
}

LRESULT CALLBACK MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<MessageWindow *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == kCallMessage) {
        std::unique_ptr<std::function<void()>> work(
            reinterpret_cast<std::function<void()> *>(lParam));
        if (self && work && *work) {
            (*work)();
            RearmCoreTimers();
        }
        return 0;
    }
    if (self && message >= WM_APP && self->m_handler) {
        self->m_handler(message, wParam, lParam);
        return 0;
    }
    if (self && message == WM_TIMER && self->m_handler) {
        self->m_handler(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace common
