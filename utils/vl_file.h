#pragma once

#include <string>

// Whole-file reads and crash-safe whole-file writes.
namespace vl {

enum class ReadFileResult { Ok, Missing, Failed };

// Reads the whole file into `bytes`. Missing when the file does not exist; Failed (with `error`)
// when it exists but cannot be read.
ReadFileResult ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// What a write does when `path` is a symbolic link.
enum class LinkPolicy {
    WriteThrough,  // replaces the file the link leads to; the link stays
    Replace,       // replaces the link itself, never writing where it points
};

// `path` with every symbolic link along the final component followed (relative targets taken
// from the link's folder); the path itself when it is no link. The result need not exist.
std::string ResolveLinks(const std::string& path);

// Replaces `path` with `bytes` so that readers see either the old or the new content, never a
// mix: the bytes go to a fresh file (created exclusively) in the same folder, are synced, and the
// file is renamed over `path`. On failure the old file is untouched, no temporary file is left,
// and `error` says what failed (a folder that takes no new file is named as such). The new file
// keeps the mode of the one it replaces (0644 for a new one) unless `mode` is given.
inline constexpr unsigned kKeepMode = ~0u;
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& error,
                         LinkPolicy links = LinkPolicy::WriteThrough, unsigned mode = kKeepMode);

}  // namespace vl
