// The GIF image class the picture items use, made empty for one item.
#pragma once

#include <memory>

#include "framework/graphics/graphics.h"

namespace zorbel {

std::unique_ptr<TGraphic> NewGifImage();

}  // namespace zorbel
