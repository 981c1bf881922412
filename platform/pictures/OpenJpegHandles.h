#pragma once

#include <openjpeg.h>

#include <memory>

namespace pravix
{

// OpenJPEG's objects, each released by its own function.
struct OpenJpegCodecRelease
{
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct OpenJpegStreamRelease
{
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct OpenJpegImageRelease
{
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};
using OpenJpegCodec = std::unique_ptr<opj_codec_t, OpenJpegCodecRelease>;
using OpenJpegStream = std::unique_ptr<opj_stream_t, OpenJpegStreamRelease>;
using OpenJpegImage = std::unique_ptr<opj_image_t, OpenJpegImageRelease>;

}  // namespace pravix
