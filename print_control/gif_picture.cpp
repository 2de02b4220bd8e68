#include "gif/gif_image.h"
#include "print_control/gif_picture.h"

namespace zorbel {

std::unique_ptr<TGraphic> NewGifImage() { return std::make_unique<TGIFImage>(); }

}  // namespace zorbel
