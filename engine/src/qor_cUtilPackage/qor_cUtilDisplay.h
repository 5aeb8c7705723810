// Image loading: JPEG images from the pack or the disk turned into display textures.
//
// Results of the texture loaders: a valid handle; the null handle (0x0FFFFFFF) when decoding
// or the texture creation fails; 0 when the image file does not exist (binding 0 leaves the
// stage untextured, and callers treat it as loaded).
#pragma once

#include "qor_cString.h"
#include "qor_types.h"
#include "qor_cDisp.h"
#include "qor_sUCColor.h"

// While the image cache is open, an image file read and decoded once is kept by its name, and
// loading that name again takes the kept pixels instead of reading and decoding the file again
// (a show loads the same images into many scenes and layers). Open it around a load during
// which the files do not change; closing it frees the images.
void qoru_openImageCache();
void qoru_closeImageCache();

// The file read for an image stem: "maps\" + stem + ".jpg".
qor_cString qoru_imageFileName(cchar * szStem);

// Decodes the named image into a new width x height array (blue, green, red, 255), or null.
qor_sUCColor * qoru_loadRGBARect(cchar * szFilename, uint & width, uint & height);
// A texture of the colour image; szAlpha (may be null) names an image whose red byte is the
// alpha. bCompress is accepted and ignored.
qor_hTexture qoru_loadTexture(cchar * szFilename, cchar * szAlpha, bool bCompress);
// A normal map from a height image (its red byte).
qor_hTexture qoru_loadTextureAsBump(cchar * szFilename);
// The normalisation cube map of sidewidth texels per side.
qor_hTexture qoru_createCubeBumpTexture(uint sidewidth);
// Frames szFilename_001 .. _nFrame on consecutive handles; the first frame's handle.
qor_hTexture qoru_loadAnim(cchar * szFilename, uint nFrame, bool bCompress = true);
