// The sample site's artwork: a colour gradient and stripes that depend on
// the album and picture numbers, with "album-picture" written across it,
// so every file differs and a viewer shows which one it is.
#pragma once

#include "samplesite/ImageCodecs.h"

namespace lumora::samplesite {

// `pictureNumber` 0 draws a cover: the album number alone.
RgbImage DrawSamplePicture(int albumNumber, int pictureNumber, int width, int height);

}  // namespace lumora::samplesite
