#pragma once

#include <string>

namespace skin {

// The folder layouts and images are loaded from, with a trailing separator: vl::ResourceDir()
// unless set otherwise.
std::string ResourcePath();
void SetResourcePath(const std::string& path);

// `name` as a file path: absolute names stay, others are taken inside the resource folder.
std::string ResourceFile(const std::string& name);

}  // namespace skin
