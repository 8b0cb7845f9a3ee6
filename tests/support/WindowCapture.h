#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// Copies the window (frame and menu included) from the screen and writes it as a PNG file.
// Returns false when the window cannot be drawn or the file cannot be written.
bool CaptureWindowPng(HWND window, const std::string &path);

} // namespace testsupport
