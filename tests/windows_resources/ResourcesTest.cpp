// The resources a Windows program carries, as the running program meets them: the common
// controls the manifest asks for, and the program's own icon on both programs' windows.
#include "common/Platform.h"
#include "common/win32/ProgramIcon.h"
#include "registry/win32/MainWindow.h"
#include "updater/win32/UpdaterWindow.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <string>

namespace {

// Width and height of an icon's colour image.
SIZE iconSize(HICON icon)
{
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return {0, 0};
    BITMAP bitmap{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // A mask without a colour image holds the AND and XOR masks one above the other.
    return {bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

TEST(ProgramManifest, BringsCommonControls6)
{
    // The manifest's dependency makes the loader take comctl32 from the side-by-side store,
    // where version 6 lives, instead of the system folder's version 5. (Wine's version 6
    // reports 5.81 from DllGetVersion, so the place is what tells them apart.)
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&controls));
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), path, sizeof path), 0u);
    std::string place(path);
    for (char &c : place)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(place.find("\\winsxs\\"), std::string::npos) << path;
    EXPECT_NE(place.find("microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << path;
}

TEST(ProgramIcon, IsTheProgramsOwnAtEachWindowIconSize)
{
    const HICON stock = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    const struct
    {
        common::IconSize size;
        int metric;
    } cases[] = {{common::IconSize::Large, SM_CXICON}, {common::IconSize::Small, SM_CXSMICON}};
    for (const auto &c : cases) {
        const HICON icon = common::ProgramIcon(c.size);
        const int pixels = GetSystemMetrics(c.metric);
        ASSERT_NE(icon, nullptr) << pixels;
        EXPECT_NE(icon, stock) << pixels;
        EXPECT_EQ(common::ProgramIcon(c.size), icon) << "shared, loaded once: " << pixels;
        const SIZE size = iconSize(icon);
        EXPECT_EQ(size.cx, pixels);
        EXPECT_EQ(size.cy, pixels);
    }
}

TEST(ProgramIcon, IsOnBothProgramsWindows)
{
    const std::string folder = common::ProgramFolder();
    const struct
    {
        const char *name;
        std::function<std::shared_ptr<void>(HWND &)> open;
    } windows[] = {
        {"Auto Updater",
         [](HWND &hwnd) {
             auto window = std::make_shared<updater::Win32UpdaterWindow>();
             hwnd = window->handle();
             return window;
         }},
        {"Registry",
         [&](HWND &hwnd) {
             auto window = std::make_shared<registry::win32::MainWindow>(folder);
             hwnd = window->hwnd();
             return window;
         }},
    };
    for (const auto &w : windows) {
        HWND hwnd = nullptr;
        const std::shared_ptr<void> window = w.open(hwnd);
        ASSERT_NE(hwnd, nullptr) << w.name;
        EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(hwnd, GCLP_HICON)),
                  common::ProgramIcon(common::IconSize::Large))
            << w.name;
        EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrA(hwnd, GCLP_HICONSM)),
                  common::ProgramIcon(common::IconSize::Small))
            << w.name;
    }
}

} // namespace
