// The JPEG codec module: a shared library next to the executable ("qor_cJpegFileDLL.so")
// exporting "getObject", which returns a new decoder object.
#pragma once

#include "qor_types.h"

#include <cstdio>

// The decoder object, in the module's slot order; unused slots keep the order.
class qor_cJpegImage
{
public:
    virtual ~qor_cJpegImage() {}
    // Decodes the JPEG that starts at the stream's position; the stream stays open.
    virtual bool read(FILE * pFile) = 0;
    virtual bool write(FILE * pFile) = 0;         // not used by the engine
    virtual bool create(uint w, uint h) = 0;      // not used by the engine
    virtual void release() = 0;                   // not used by the engine
    virtual uint getWidth() const = 0;
    virtual uint getHeight() const = 0;
    // The pixels in rows of getPitch() bytes, getBitsPerPixel() each (textures are copied from
    // them a row at a time).
    virtual uint getPitch() const = 0;
    virtual uint getBitsPerPixel() const = 0;
    virtual uchar * getData() = 0;
    virtual cchar * getLastError() const = 0;     // not used by the engine
    // Three bytes red, green, blue of pixel index = y * width + x; null outside the image.
    virtual const uchar * getPixel(uint nIndex) const = 0;
    virtual void setPixel(uint nIndex, const uchar * pRGB) = 0; // not used by the engine
};

typedef qor_cJpegImage * (*qor_pfnGetJpegObject)();

// Loads the module from the executable's folder (message boxes on failure); true when ready.
bool qoru_loadJpegPlugin();
void qoru_freeJpegPlugin();
// A new decoder from the loaded module, or null when none is loaded. The caller deletes it.
qor_cJpegImage * qoru_newJpegImage();
