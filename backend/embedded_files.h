#pragma once

#include <string>
#include <string_view>

namespace backend {

// A file built into the program from the backend folder ("goods.json", "pages/help.html");
// empty when there is none.
std::string_view EmbeddedFile(const std::string& name);

}  // namespace backend
