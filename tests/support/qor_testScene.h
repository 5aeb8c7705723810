// Scenes that several test programs write with the scene writer.
#pragma once

#include "qor_cS3dWriter.h"

namespace qort
{
// A two-sided red mesh "quad" (material "Red", vertex colour red): x -10 .. 10, y 40 .. 60 at
// z -100, bounding sphere (0, 50, -100) radius 15. Seen by the scene test viewer's fixed camera
// it covers pixels x 262 .. 378, y 182 .. 298.
void addRedQuad(qor_cS3dWriter & w);
} // namespace qort
