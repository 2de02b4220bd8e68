// Built when the GIF codec is not part of the build: a GIF picture fails plainly.
#include "print_control/gif_picture.h"

namespace zorbel {

std::unique_ptr<TGraphic> NewGifImage() {
  throw EInvalidGraphic("GIF pictures cannot be drawn: this build has no GIF image class");
}

}  // namespace zorbel
