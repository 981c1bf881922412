// TIFF written through libtiff into a memory buffer.
#include "ImageEncoders.h"

#include <algorithm>
#include <cstring>

#include <tiffio.h>

namespace pravix
{
namespace
{

struct MemoryFile
{
    std::vector<uint8_t>* out = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

tsize_t memRead(thandle_t h, tdata_t buf, tsize_t n)
{
    auto* f = static_cast<MemoryFile*>(h);
    if (n <= 0 || f->pos >= f->size)
    {
        return 0;
    }
    const size_t count = std::min(static_cast<size_t>(n), f->size - f->pos);
    std::memcpy(buf, f->out->data() + f->pos, count);
    f->pos += count;
    return static_cast<tsize_t>(count);
}

tsize_t memWrite(thandle_t h, tdata_t buf, tsize_t n)
{
    auto* f = static_cast<MemoryFile*>(h);
    if (f->out == nullptr || n < 0)
    {
        return -1;
    }
    const size_t end = f->pos + static_cast<size_t>(n);
    if (end > f->out->size())
    {
        f->out->resize(end);
    }
    std::memcpy(f->out->data() + f->pos, buf, static_cast<size_t>(n));
    f->pos = end;
    f->size = std::max(f->size, end);
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence)
{
    auto* f = static_cast<MemoryFile*>(h);
    uint64_t base = 0;
    if (whence == SEEK_CUR)
    {
        base = f->pos;
    }
    else if (whence == SEEK_END)
    {
        base = f->size;
    }
    const uint64_t target = base + off;
    if (f->out == nullptr && target > f->size)
    {
        return static_cast<toff_t>(-1);
    }
    f->pos = static_cast<size_t>(target);
    return target;
}

int memClose(thandle_t)
{
    return 0;
}

toff_t memSize(thandle_t h)
{
    return static_cast<MemoryFile*>(h)->size;
}

int memMap(thandle_t, tdata_t*, toff_t*)
{
    return 0;
}

void memUnmap(thandle_t, tdata_t, toff_t) {}

void quietHandler(const char*, const char*, va_list) {}

void silenceLibtiff()
{
    static const bool done = []
    {
        TIFFSetWarningHandler(quietHandler);
        TIFFSetErrorHandler(quietHandler);
        return true;
    }();
    (void)done;
}

}  // namespace

std::vector<uint8_t> encodeTiff(const Bitmap& image)
{
    if (image.empty())
    {
        return {};
    }
    silenceLibtiff();
    std::vector<uint8_t> out;
    MemoryFile file;
    file.out = &out;
    TIFF* tif = TIFFClientOpen("memory", "w", &file, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
    if (tif == nullptr)
    {
        return {};
    }
    bool ok =
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height) &&
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, image.channels) && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
        TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (ok && image.channels == 4)
    {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        ok = TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (ok && !image.iccProfile.empty())
    {
        ok = TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(image.iccProfile.size()),
                          image.iccProfile.data());
    }
    for (uint32_t y = 0; ok && y < image.height; ++y)
    {
        ok = TIFFWriteScanline(tif, const_cast<uint8_t*>(image.row(y)), y, 0) >= 0;
    }
    ok = ok && TIFFWriteDirectory(tif);
    TIFFClose(tif);
    if (!ok)
    {
        return {};
    }
    out.resize(file.size);
    return out;
}

}  // namespace pravix
