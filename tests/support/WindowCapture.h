#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// Copies what the window draws (its menu bar and client area) from the screen and writes it
// as a PNG file.
// Returns false when the window cannot be drawn or the file cannot be written.
bool CaptureWindowPng(HWND window, const std::string &path);

} // namespace testsupport
