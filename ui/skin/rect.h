#pragma once

#include "platform/rect.h"

namespace skin {

using Rect = vl::platform::Rect;

}  // namespace skin
