#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// The log file name of a start at local time `now`: "velmora-translator-" + year month day + "-"
// + hour minute second + "." + milliseconds + ".log", every number in plain decimal without
// padding (5 December 2026 08:13:30.045 gives velmora-translator-2026125-81330.45.log).
std::string LogFileName(std::chrono::system_clock::time_point now);

// Keeps the newest `keep` log files of the program in `dir` (by modification time, then name) and
// deletes the older ones; other files are left alone.
void PruneLogs(const std::string& dir, std::size_t keep);

// Opens this start's log file in the log folder (appending), keeping the newest 10 files, and makes
// the process logger write to it. False when the folder or the file cannot be had; then "InitLog
// failed" goes to standard error.
bool InitLog();
