#pragma once

#include <string>

// Whole-file reads and crash-safe whole-file writes.
namespace vl {

enum class ReadFileResult { Ok, Missing, Failed };

// Reads the whole file into `bytes`. Missing when the file does not exist; Failed (with `error`)
// when it exists but cannot be read.
ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// Replaces `path` with `bytes` so that readers see either the old or the new content, never a
// mix: the bytes go to a fresh file in the same folder, are synced, and the file is renamed over
// `path`. On failure the old file is untouched, no temporary file is left, and `error` says what
// failed.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error);

}  // namespace vl
