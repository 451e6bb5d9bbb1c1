#pragma once

#include <string>

namespace skin {

// Prepares the running QApplication for skinned windows: the resource folder beside the
// executable, its style sheet, the default font (Chinese through the installed CJK face, which
// also stands in for the Windows UI faces), no quitting when the last window closes (the tray
// keeps the program), and the system DPI source. False, with `error`, when the resource folder
// is missing.
bool InitApplication(std::string* error);
// Takes back what InitApplication installed outside Qt (the DPI source).
void UninitApplication();

}  // namespace skin
