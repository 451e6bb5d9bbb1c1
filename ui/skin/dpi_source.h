#pragma once

#include <cstdint>
#include <string_view>

namespace skin {

// The value of Xft.dpi in the text of the X resource database; 0 when absent or not a DPI.
std::uint32_t ParseXftDpi(std::string_view resources);

// The system DPI: the X server's Xft.dpi, else the primary screen's device pixel ratio × 96, else
// 96. Reads the display on the UI thread; other threads get the value the UI thread read last.
std::uint32_t QueryDpi();

// Makes QueryDpi the source of vl::OSDpi; UninstallDpiSource takes it back.
void InstallDpiSource();
void UninstallDpiSource();

}  // namespace skin
