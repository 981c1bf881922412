// JPEG 2000 pictures: codestreams whose headers ask OpenJPEG for far more structures, packets or samples
// than any picture can be decoded with are refused from their headers, larger pictures decoded at a lower
// resolution level; damaged headers never crash; real pictures decode to their pixels, a component at a
// time as they are whole, the colour transform's saturated colours exactly.
#include "ImageEncoders.h"
#include "Jp2Headers.h"
#include "MemoryReadBuffer.h"
#include "OpenJpegHandles.h"
#include "ParallelFor.h"
#include "PictureStreamDecoder.h"
#include "PlatformTestSupport.h"

#include "AddressSpaceLimit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace pravix;
using namespace pravix::test;

namespace
{

using Bytes = std::vector<uint8_t>;

void put16(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void put32(Bytes& out, uint32_t v)
{
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A marker segment: its code, its length, its bytes.
Bytes marker(uint32_t code, const Bytes& body)
{
    Bytes out;
    put16(out, code);
    put16(out, static_cast<uint32_t>(body.size() + 2));
    return out + body;
}

// SIZ: 8-bit components without subsampling, tiles of tileWidth x tileHeight (0: one tile).
Bytes siz(uint32_t width, uint32_t height, uint32_t comps, uint32_t tileWidth = 0, uint32_t tileHeight = 0)
{
    Bytes body;
    put16(body, 0);
    for (uint32_t v : {width, height, 0u, 0u, tileWidth ? tileWidth : width, tileHeight ? tileHeight : height, 0u, 0u})
    {
        put32(body, v);
    }
    put16(body, comps);
    for (uint32_t c = 0; c < comps; ++c)
    {
        body.insert(body.end(), {7, 1, 1});
    }
    return marker(0xFF51, body);
}

struct Coding
{
    uint32_t levels = 5;  // decomposition levels
    uint32_t block = 64;  // code-blocks block x block
    uint32_t layers = 1;
    uint32_t order = 0;  // LRCP
    Bytes precincts;     // PPy << 4 | PPx per resolution; empty: the largest
};

Bytes spcod(const Coding& c)
{
    uint32_t exponent = 0;
    while ((1u << (exponent + 2)) < c.block)
    {
        ++exponent;
    }
    return Bytes{static_cast<uint8_t>(c.levels), static_cast<uint8_t>(exponent), static_cast<uint8_t>(exponent), 0, 1} +
           c.precincts;
}

Bytes cod(const Coding& c)
{
    Bytes body{static_cast<uint8_t>(c.precincts.empty() ? 0 : 1), static_cast<uint8_t>(c.order)};
    put16(body, c.layers);
    body.push_back(0);
    return marker(0xFF52, body + spcod(c));
}

Bytes coc(uint32_t comp, const Coding& c)
{
    return marker(0xFF53,
                  Bytes{static_cast<uint8_t>(comp), static_cast<uint8_t>(c.precincts.empty() ? 0 : 1)} + spcod(c));
}

Bytes qcd(uint32_t levels)
{
    Bytes body{0x40};
    body.insert(body.end(), 3 * levels + 1, 9 << 3);
    return marker(0xFF5C, body);
}

// A tile-part: SOT, its own markers, SOD, its data (one byte: an empty packet).
Bytes tilePart(uint32_t tile, const Bytes& headers = {}, const Bytes& data = {0}, uint32_t part = 0, uint32_t parts = 1)
{
    Bytes out;
    put16(out, 0xFF90);
    put16(out, 10);
    put16(out, tile);
    put32(out, static_cast<uint32_t>(12 + headers.size() + 2 + data.size()));
    out.push_back(static_cast<uint8_t>(part));
    out.push_back(static_cast<uint8_t>(parts));
    out = out + headers;
    put16(out, 0xFF93);
    return out + data;
}

Bytes codestream(const Bytes& mainHeader, const std::vector<Bytes>& parts)
{
    Bytes out{0xFF, 0x4F};
    out = out + mainHeader;
    for (const Bytes& p : parts)
    {
        out = out + p;
    }
    return out + Bytes{0xFF, 0xD9};
}

Bytes box(const char* type, const Bytes& body)
{
    Bytes out;
    put32(out, static_cast<uint32_t>(body.size() + 8));
    out.insert(out.end(), type, type + 4);
    return out + body;
}

// A box with its length in the long form (1, then 64 bits), as OpenJPEG takes it below 4 GiB.
Bytes longBox(const char* type, const Bytes& body)
{
    Bytes out;
    put32(out, 1);
    out.insert(out.end(), type, type + 4);
    put32(out, 0);
    put32(out, static_cast<uint32_t>(body.size() + 16));
    return out + body;
}

// A .jp2 of a codestream, with further boxes in its header box.
Bytes jp2(const Bytes& cs, uint32_t width, uint32_t height, uint32_t comps, const Bytes& extraHeader = {})
{
    Bytes ihdr;
    put32(ihdr, height);
    put32(ihdr, width);
    put16(ihdr, comps);
    ihdr.insert(ihdr.end(), {7, 7, 0, 0});
    Bytes colr{1, 0, 0};
    put32(colr, comps >= 3 ? 16 : 17);
    return box("jP  ", {'\r', '\n', 0x87, '\n'}) + box("ftyp", {'j', 'p', '2', ' ', 0, 0, 0, 0, 'j', 'p', '2', ' '}) +
           box("jp2h", box("ihdr", ihdr) + box("colr", colr) + extraHeader) + box("jp2c", cs);
}

std::vector<Bytes> oneTile()
{
    return {tilePart(0)};
}

// The rows a decoder hands out.
struct Rows : PictureRowSink
{
    uint32_t width = 0, height = 0;
    Bytes pixels;
    void begin(uint32_t w, uint32_t h, uint32_t channels) override
    {
        if (channels != 3)
        {
            throw PictureDecodeError("RGB rows asked for");
        }
        width = w;
        height = h;
        pixels.clear();
    }
    void rows(const uint8_t* p, size_t stride, uint32_t count) override
    {
        for (uint32_t r = 0; r < count; ++r)
        {
            pixels.insert(pixels.end(), p + r * stride, p + r * stride + size_t(width) * 3);
        }
    }
};

// The same, offering the whole picture's place for the decoder to put it together in.
struct PlacedRows : Rows
{
    Bytes place;
    void begin(uint32_t w, uint32_t h, uint32_t channels) override
    {
        Rows::begin(w, h, channels);
        place.assign(size_t(w) * h * 3, 0);
    }
    uint8_t* placeForRows(uint32_t count, size_t& stride) override
    {
        stride = size_t(width) * 3;
        return count == height ? place.data() : nullptr;
    }
};

// Decodes a file in memory for at least minWidth x minHeight; the reason when it is refused.
std::string decode(const Bytes& file, uint32_t minWidth, uint32_t minHeight, Rows& rows)
{
    MemoryReadBuffer buffer(file.data(), file.size());
    try
    {
        std::unique_ptr<PictureStreamDecoder> decoder = makeJp2StreamDecoder(buffer);
        decoder->readHeader();
        decoder->decodeRows(minWidth, minHeight, rows);
        return {};
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
}

std::string headerRefusal(const Bytes& file)
{
    MemoryReadBuffer buffer(file.data(), file.size());
    try
    {
        makeJp2StreamDecoder(buffer)->readHeader();
        return {};
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
}

Jp2Headers headersOf(const Bytes& file)
{
    MemoryReadBuffer buffer(file.data(), file.size());
    return Jp2Headers::read(buffer, file.size());
}

// A lossless JPEG 2000 of a picture through OpenJPEG's encoder, with the coding choices a camera or an
// editor may make.
struct EncodeChoices
{
    uint32_t tile = 0;  // square tiles; 0: one
    uint32_t block = 64;
    uint32_t precinct = 0;  // square precincts at every level; 0: the largest
    uint32_t layers = 1;
    uint32_t resolutions = 6;
    OPJ_PROG_ORDER order = OPJ_LRCP;
    uint32_t style = 0;  // code-block style (mode switches)
    bool codestreamOnly = false;
    bool lossy = false;  // the irreversible wavelet and colour transform, at about 20:1
    uint32_t precision = 8;
};

// A picture of 1 to 4 interleaved 8-bit channels.
struct Picture
{
    uint32_t width = 0, height = 0, channels = 0;
    Bytes pixels;
};

Picture pictureOf(const Bitmap& image, uint32_t channels)
{
    Picture out{image.width, image.height, channels, {}};
    for (size_t i = 0; i < size_t(image.width) * image.height; ++i)
    {
        const uint8_t* p = image.pixels.data() + i * image.channels;
        out.pixels.insert(out.pixels.end(), p, p + std::min(channels, image.channels));
    }
    return out;
}

struct MemoryOut
{
    Bytes out;
    size_t position = 0;
};

OPJ_SIZE_T writeOut(void* data, OPJ_SIZE_T count, void* user)
{
    MemoryOut& m = *static_cast<MemoryOut*>(user);
    if (m.position + count > m.out.size())
    {
        m.out.resize(m.position + count);
    }
    std::memcpy(m.out.data() + m.position, data, count);
    m.position += count;
    return count;
}

OPJ_OFF_T skipOut(OPJ_OFF_T count, void* user)
{
    MemoryOut& m = *static_cast<MemoryOut*>(user);
    m.position = static_cast<size_t>(static_cast<OPJ_OFF_T>(m.position) + count);
    return count;
}

OPJ_BOOL seekOut(OPJ_OFF_T position, void* user)
{
    static_cast<MemoryOut*>(user)->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

void quiet(const char*, void*) {}

Bytes encodeWith(const Picture& image, const EncodeChoices& choices)
{
    const uint32_t comps = image.channels;
    opj_image_cmptparm_t params[4]{};
    for (uint32_t c = 0; c < comps; ++c)
    {
        params[c].dx = params[c].dy = 1;
        params[c].w = image.width;
        params[c].h = image.height;
        params[c].prec = choices.precision;
    }
    OpenJpegImage img(opj_image_create(comps, params, comps >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY));
    img->x1 = image.width;
    img->y1 = image.height;
    if (comps == 2 || comps == 4)
    {
        img->comps[comps - 1].alpha = 1;
    }
    for (size_t i = 0; i < size_t(image.width) * image.height; ++i)
    {
        for (uint32_t c = 0; c < comps; ++c)
        {
            // Wider samples spread the 8-bit value over all their bits.
            const int32_t v = image.pixels[i * comps + c];
            img->comps[c].data[i] = choices.precision > 8 ? (v << (choices.precision - 8)) | (v >> (16 - choices.precision))
                                                          : v;
        }
    }
    opj_cparameters_t cp;
    opj_set_default_encoder_parameters(&cp);
    cp.tcp_numlayers = static_cast<int>(choices.layers);
    for (uint32_t l = 0; l < choices.layers; ++l)
    {
        cp.tcp_rates[l] = l + 1 == choices.layers ? (choices.lossy ? 20.0f : 0) : float(40 >> l);
    }
    cp.irreversible = choices.lossy ? 1 : 0;
    cp.cp_disto_alloc = 1;
    cp.tcp_mct = comps >= 3 ? 1 : 0;
    cp.numresolution = static_cast<int>(choices.resolutions);
    cp.cblockw_init = cp.cblockh_init = static_cast<int>(choices.block);
    cp.prog_order = choices.order;
    cp.mode = static_cast<int>(choices.style);
    if (choices.tile)
    {
        cp.tile_size_on = OPJ_TRUE;
        cp.cp_tdx = cp.cp_tdy = static_cast<int>(choices.tile);
    }
    if (choices.precinct)
    {
        cp.csty |= 0x01;
        cp.res_spec = static_cast<int>(choices.resolutions);
        for (uint32_t r = 0; r < choices.resolutions; ++r)
        {
            cp.prcw_init[r] = cp.prch_init[r] = static_cast<int>(choices.precinct);
        }
    }
    OpenJpegCodec codec(opj_create_compress(choices.codestreamOnly ? OPJ_CODEC_J2K : OPJ_CODEC_JP2));
    opj_set_info_handler(codec.get(), quiet, nullptr);
    opj_set_warning_handler(codec.get(), quiet, nullptr);
    opj_set_error_handler(codec.get(), quiet, nullptr);
    EXPECT_TRUE(opj_setup_encoder(codec.get(), &cp, img.get()));
    MemoryOut sink;
    OpenJpegStream stream(opj_stream_create(1 << 16, OPJ_FALSE));
    opj_stream_set_user_data(stream.get(), &sink, nullptr);
    opj_stream_set_write_function(stream.get(), writeOut);
    opj_stream_set_skip_function(stream.get(), skipOut);
    opj_stream_set_seek_function(stream.get(), seekOut);
    const bool ok = opj_start_compress(codec.get(), img.get(), stream.get()) && opj_encode(codec.get(), stream.get()) &&
                    opj_end_compress(codec.get(), stream.get());
    EXPECT_TRUE(ok);
    return ok ? sink.out : Bytes{};
}

// RGB of a picture as the decoder hands it out: grey spread to three channels, alpha put over black.
Bytes rgbOf(const Picture& image)
{
    Bytes out(size_t(image.width) * image.height * 3);
    const bool alpha = image.channels == 2 || image.channels == 4;
    for (uint32_t y = 0; y < image.height; ++y)
    {
        const uint8_t* row = image.pixels.data() + size_t(y) * image.width * image.channels;
        uint8_t* rgb = out.data() + size_t(y) * image.width * 3;
        if (alpha)
        {
            flattenOverBlack(row, image.channels, image.width, rgb);
            continue;
        }
        for (uint32_t x = 0; x < image.width; ++x)
        {
            for (uint32_t c = 0; c < 3; ++c)
            {
                rgb[x * 3 + c] = row[x * image.channels + (image.channels == 1 ? 0 : c)];
            }
        }
    }
    return out;
}

struct MemoryIn
{
    const Bytes* bytes;
    size_t position = 0;
};

OPJ_SIZE_T readIn(void* into, OPJ_SIZE_T count, void* user)
{
    MemoryIn& m = *static_cast<MemoryIn*>(user);
    const size_t n = std::min<size_t>(count, m.bytes->size() - m.position);
    std::memcpy(into, m.bytes->data() + m.position, n);
    m.position += n;
    return n == 0 ? static_cast<OPJ_SIZE_T>(-1) : n;
}

OPJ_OFF_T skipIn(OPJ_OFF_T count, void* user)
{
    MemoryIn& m = *static_cast<MemoryIn*>(user);
    m.position = static_cast<size_t>(std::clamp<OPJ_OFF_T>(OPJ_OFF_T(m.position) + count, 0, m.bytes->size()));
    return count;
}

OPJ_BOOL seekIn(OPJ_OFF_T position, void* user)
{
    static_cast<MemoryIn*>(user)->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

// RGB of an 8-bit three-component .jp2 as OpenJPEG decodes it whole, its own colour transform applied.
Bytes wholeDecodeOf(const Bytes& file)
{
    MemoryIn in{&file};
    OpenJpegCodec codec(opj_create_decompress(OPJ_CODEC_JP2));
    opj_set_error_handler(codec.get(), quiet, nullptr);
    opj_set_warning_handler(codec.get(), quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    OpenJpegStream stream(opj_stream_create(1 << 16, OPJ_TRUE));
    opj_stream_set_user_data(stream.get(), &in, nullptr);
    opj_stream_set_user_data_length(stream.get(), file.size());
    opj_stream_set_read_function(stream.get(), readIn);
    opj_stream_set_skip_function(stream.get(), skipIn);
    opj_stream_set_seek_function(stream.get(), seekIn);
    opj_image_t* raw = nullptr;
    if (!opj_setup_decoder(codec.get(), &parameters) || !opj_read_header(stream.get(), codec.get(), &raw))
    {
        opj_image_destroy(raw);
        return {};
    }
    OpenJpegImage image(raw);
    if (!opj_decode(codec.get(), stream.get(), image.get()) || image->numcomps != 3)
    {
        return {};
    }
    const size_t pixels = size_t(image->comps[0].w) * image->comps[0].h;
    Bytes rgb(pixels * 3);
    for (size_t i = 0; i < pixels; ++i)
    {
        for (uint32_t c = 0; c < 3; ++c)
        {
            rgb[i * 3 + c] = static_cast<uint8_t>(std::clamp(image->comps[c].data[i], 0, 255));
        }
    }
    return rgb;
}

}  // namespace

// The bombs of the hostile-inputs benchmark, each of a few bytes to 60 KB, are refused from their headers,
// with the count that passed its cap, before OpenJPEG allocates what they name.
TEST(Jp2DecodeTest, StructureAndPacketBombsAreRefusedFromTheirHeaders)
{
    const uint32_t side = 16384;
    Coding tiny;
    tiny.block = 4;
    Coding smallPrecincts;
    smallPrecincts.precincts = Bytes(6, 0x11);
    Coding manyLayers;
    manyLayers.layers = 65535;
    Coding deep = tiny;
    deep.levels = 32;
    deep.precincts = Bytes(33, 0xFF);
    deep.precincts[0] = 0;
    std::vector<Bytes> manyTiles;
    for (uint32_t t = 0; t < 4096; ++t)
    {
        manyTiles.push_back(tilePart(t));
    }
    std::vector<Bytes> cocParts, codParts;
    for (uint32_t t = 0; t < 16; ++t)
    {
        cocParts.push_back(tilePart(t, coc(0, tiny) + coc(1, tiny) + coc(2, tiny)));
        codParts.push_back(tilePart(t, cod(smallPrecincts)));
    }
    Bytes palette{0, 2, 255};
    palette.insert(palette.end(), 255, 7);
    palette.insert(palette.end(), 2 * 255, 0);
    Bytes mapping;
    for (uint32_t c = 0; c < 255; ++c)
    {
        mapping.insert(mapping.end(), {0, 0, 1, static_cast<uint8_t>(c)});
    }
    struct Case
    {
        const char* what;
        Bytes file;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"4x4 code-blocks", codestream(siz(side, side, 1) + cod(tiny) + qcd(5), oneTile()), "code-blocks"},
        {"4x4 code-blocks, three components in a JP2 box",
         jp2(codestream(siz(side, side, 3) + cod(tiny) + qcd(5), oneTile()), side, side, 3), "code-blocks"},
        {"2x2 precincts", codestream(siz(side, side, 1) + cod(smallPrecincts) + qcd(5), oneTile()), "precincts"},
        {"33 resolution levels", codestream(siz(side, side, 1) + cod(deep) + qcd(32), oneTile()), "code-blocks"},
        {"65535 layers in 4096 tiles", codestream(siz(side, side, 3, 256, 256) + cod(manyLayers) + qcd(5), manyTiles),
         "packets"},
        {"4x4 code-blocks asked in the tile-parts (COC)",
         codestream(siz(side, side, 3, 4096, 4096) + cod(Coding{}) + qcd(5), cocParts), "code-blocks"},
        {"2x2 precincts asked in the tile-parts (COD)",
         codestream(siz(side, side, 1, 4096, 4096) + cod(Coding{}) + qcd(5), codParts), "precincts"},
        {"a palette of 255 columns",
         jp2(codestream(siz(4096, 4096, 1) + cod(Coding{}) + qcd(5), oneTile()), 4096, 4096, 1,
             box("pclr", palette) + box("cmap", mapping)),
         "palette"},
        {"a palette of 255 columns after a box of long length",
         jp2(codestream(siz(4096, 4096, 1) + cod(Coding{}) + qcd(5), oneTile()), 4096, 4096, 1,
             longBox("res ", Bytes(8, 0)) + box("pclr", palette) + box("cmap", mapping)),
         "palette"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const std::string why = headerRefusal(c.file);
        EXPECT_EQ(why.rfind("JPEG 2000: ", 0), 0u) << why;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        // Refused without OpenJPEG sizing anything from the headers.
        testsupport::expectWithinAddressSpaceGrowth(uint64_t(64) << 20,
                                                    [&]
                                                    {
                                                        limitWorkers(1);
                                                        Rows rows;
                                                        return !decode(c.file, 1, 1, rows).empty();
                                                    });
    }
}

// The counts are OpenJPEG's: every resolution level's bands, precincts and code-blocks, whatever level is
// decoded; the tile-parts' own coding styles; the packets of every layer.
TEST(Jp2DecodeTest, CountsFollowTheCodingStylesOfEveryTilePart)
{
    // 1024 x 1024, 64 x 64 code-blocks, five decompositions: 8x8, 4x4, 2x2, 1x1 and 1x1 code-blocks in
    // each of three bands, one code-block at the lowest resolution; one precinct per band.
    Coding plain;
    plain.layers = 3;
    const Jp2Headers one = headersOf(codestream(siz(1024, 1024, 1) + cod(plain) + qcd(5), oneTile()));
    EXPECT_EQ(one.counts().codeBlocks, 3u * (64 + 16 + 4 + 1 + 1) + 1);
    EXPECT_EQ(one.counts().precincts, 3u * 5 + 1);
    EXPECT_EQ(one.counts().packets, 3u * 6);
    EXPECT_EQ(one.levels(), 6u);
    // Precincts of 128 at every level: each band's precincts of 64 hold one code-block each.
    Coding precincts = plain;
    precincts.precincts = Bytes(6, 0x77);
    const Jp2Headers split = headersOf(codestream(siz(1024, 1024, 1) + cod(precincts) + qcd(5), oneTile()));
    EXPECT_EQ(split.counts().codeBlocks, one.counts().codeBlocks);
    EXPECT_EQ(split.counts().precincts, split.counts().codeBlocks);
    EXPECT_EQ(split.counts().packets, 3u * (64 + 16 + 4 + 1 + 1 + 1));

    // Four tiles; the second asks for 16x16 code-blocks for component 1 and fewer levels for all.
    Coding small = plain;
    small.block = 16;
    Coding shallow = plain;
    shallow.levels = 2;
    const Bytes mainHeader = siz(1024, 1024, 2, 512, 512) + cod(plain) + qcd(5);
    const Jp2Headers same = headersOf(codestream(mainHeader, {tilePart(0), tilePart(1), tilePart(2), tilePart(3)}));
    const Jp2Headers mixed = headersOf(
        codestream(mainHeader, {tilePart(0), tilePart(1, cod(shallow) + coc(1, small)), tilePart(2), tilePart(3)}));
    EXPECT_EQ(same.levels(), 6u);
    EXPECT_EQ(mixed.levels(), 3u);
    EXPECT_GT(mixed.counts().codeBlocks, same.counts().codeBlocks);
    EXPECT_EQ(same.counts().tilesDecoded, 4u);
    EXPECT_EQ(same.counts().tileParts, 4u);
    // A tile without coded data is not decoded.
    const Jp2Headers three = headersOf(codestream(mainHeader, {tilePart(0), tilePart(1), tilePart(2, {}, {})}));
    EXPECT_EQ(three.counts().tilesDecoded, 2u);

    // Tile-parts of a tile in order, their count given or not, or one short (OpenJPEG's correction of an
    // encoder's count): read as OpenJPEG reads them; out of order: refused as OpenJPEG refuses them.
    const Bytes grey = siz(256, 256, 1) + cod(plain) + qcd(5);
    for (const uint32_t parts : {2u, 0u, 1u})
    {
        SCOPED_TRACE(parts);
        const Bytes file = codestream(grey, {tilePart(0, {}, {0}, 0, parts), tilePart(0, {}, {0}, 1, parts)});
        EXPECT_EQ(headersOf(file).counts().codedBytes, 2u);
        Rows rows;
        EXPECT_EQ(decode(file, 256, 256, rows), "");
    }
    const Bytes swapped = codestream(grey, {tilePart(0, {}, {0}, 1, 2), tilePart(0, {}, {0}, 0, 2)});
    EXPECT_EQ(headerRefusal(swapped), "JPEG 2000: bad tile-part header");
}

// The level decoded is the lowest that gives the size asked for, lower while the samples held at once
// would pass their cap; decoded in the output's own place a picture keeps more of its size.
TEST(Jp2DecodeTest, LargePicturesAreDecodedAtALowerLevel)
{
    const Jp2Headers four = headersOf(codestream(siz(16384, 16384, 4) + cod(Coding{}) + qcd(5), oneTile()));
    // One component's 32-bit samples of 8192 x 8192 are 256 MiB; all four's, a GiB.
    EXPECT_EQ(four.chooseReduction(8192, 8192, 4), 1u);
    EXPECT_EQ(four.chooseReduction(8192, 8192, 16), 2u);
    EXPECT_EQ(four.chooseReduction(16384, 16384, 4), 1u);
    EXPECT_EQ(four.chooseReduction(100, 100, 4), 5u);  // as far as the levels go
    EXPECT_EQ(four.widthAt(2), 4096u);
    // With no level to go down to, too many samples are refused.
    Rows refused;
    const std::string why =
        decode(codestream(siz(16384, 16384, 1) + cod(Coding{0, 64, 1, 0, {}}) + qcd(0), oneTile()), 1, 1, refused);
    EXPECT_NE(why.find("MiB of samples at its lowest level"), std::string::npos) << why;

    // One component of 16384 x 16384 asked at 8192 comes out at 8192; asked at 8000, which a level of
    // 8192 would have to be reduced to afterwards, through a buffer beside the output, at 4096.
    const Bytes grey = codestream(siz(16384, 16384, 1) + cod(Coding{}) + qcd(5), oneTile());
    PlacedRows placed;
    ASSERT_EQ(decode(grey, 8192, 8192, placed), "");
    EXPECT_EQ(placed.width, 8192u);
    EXPECT_EQ(placed.height, 8192u);
    Rows rows;
    ASSERT_EQ(decode(grey, 8000, 8000, rows), "");
    EXPECT_EQ(rows.width, 4096u);
    EXPECT_EQ(rows.height, 4096u);
    // A small picture at the size asked for.
    const Bytes small = codestream(siz(300, 200, 3) + cod(Coding{}) + qcd(5), oneTile());
    ASSERT_EQ(decode(small, 300, 200, rows), "");
    EXPECT_EQ(rows.width, 300u);
    EXPECT_EQ(rows.height, 200u);
}

// Every cut of a codestream's headers and bytes garbled anywhere in them fail or decode whole rows; never
// crash, hang or read past the file.
TEST(Jp2DecodeTest, CutAndGarbledHeadersNeverCrash)
{
    limitWorkers(1);
    Coding coding;
    coding.layers = 2;
    coding.precincts = Bytes(6, 0x55);
    const Bytes pocs = marker(0xFF5F, {0, 0, 0, 2, 6, 3, 2});
    const Bytes handmade =
        codestream(siz(96, 64, 3, 64, 64) + cod(coding) + qcd(5) + pocs,
                   {tilePart(0, coc(1, Coding{}) + pocs, Bytes(40, 0)), tilePart(1), tilePart(1), tilePart(0)});
    const Bytes encoded = encodeImage(patternBitmap(96, 64), ImageFileType::Jpeg2000);
    std::mt19937 random(7);
    for (const Bytes& file : {handmade, encoded})
    {
        const size_t headers = std::min<size_t>(file.size(), 400);
        for (size_t cut = 0; cut < headers; ++cut)
        {
            Rows rows;
            const Bytes part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
            if (decode(part, 1, 1, rows).empty())
            {
                EXPECT_EQ(rows.pixels.size(), size_t(rows.width) * rows.height * 3) << cut;
            }
        }
        for (int n = 0; n < 600; ++n)
        {
            Bytes garbled = file;
            for (int k = 0; k < 1 + n % 3; ++k)
            {
                const size_t at = random() % headers;
                const uint32_t pick = random() % 4;
                garbled[at] = pick == 0 ? 0xFF : pick == 1 ? 0x00 : static_cast<uint8_t>(random());
            }
            PlacedRows rows;
            if (decode(garbled, 1, 1, rows).empty())
            {
                EXPECT_EQ(rows.pixels.size(), size_t(rows.width) * rows.height * 3) << n;
            }
        }
    }
    limitWorkers(0);
}

// Pictures coded the ways encoders code them, tiled or not, 1 to 4 components, several code-block and
// precinct sizes, layers, progressions and mode switches, decode to their pixels (lossless), at the size
// asked for, whether put together in the output's place or in a buffer of the decoder's own.
TEST(Jp2DecodeTest, RealPicturesDecodeToTheirPixels)
{
    const Picture rgb = pictureOf(patternBitmap(333, 250), 3);
    const Picture rgba = pictureOf(patternBitmap(333, 250, 4), 4);
    const Picture grey = pictureOf(patternBitmap(333, 250), 1);
    const Picture greyAlpha = pictureOf(patternBitmap(333, 250, 4), 2);
    struct Case
    {
        const char* what;
        const Picture* image;
        EncodeChoices choices;
    };
    EncodeChoices tiled;
    tiled.tile = 128;
    EncodeChoices blocks16;
    blocks16.block = 16;
    EncodeChoices precincts;
    precincts.precinct = 32;
    precincts.order = OPJ_RPCL;
    EncodeChoices layered;
    layered.layers = 4;
    layered.order = OPJ_PCRL;
    layered.tile = 100;
    EncodeChoices modes;
    modes.style = 1 | 4 | 8;  // bypass, terminate every pass, vertically causal
    modes.block = 32;
    modes.codestreamOnly = true;
    EncodeChoices shallow;
    shallow.resolutions = 3;
    shallow.order = OPJ_CPRL;
    shallow.precinct = 64;
    EncodeChoices twelveBits;
    twelveBits.precision = 12;
    EncodeChoices sixteenBits;
    sixteenBits.precision = 16;
    sixteenBits.tile = 200;
    const std::vector<Case> cases = {
        {"RGB, one tile", &rgb, EncodeChoices{}},
        {"RGB, tiles of 128", &rgb, tiled},
        {"grey, code-blocks of 16", &grey, blocks16},
        {"RGBA, precincts of 32, RPCL", &rgba, precincts},
        {"RGB, four layers, PCRL, tiles", &rgb, layered},
        {"RGB, mode switches, codestream", &rgb, modes},
        {"grey, three levels, CPRL", &grey, shallow},
        {"grey and alpha, tiles of 128", &greyAlpha, tiled},
        {"RGB of 12 bits", &rgb, twelveBits},
        {"RGBA of 16 bits, tiles", &rgba, sixteenBits},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const Bytes file = encodeWith(*c.image, c.choices);
        ASSERT_FALSE(file.empty());
        Rows rows;
        ASSERT_EQ(decode(file, c.image->width, c.image->height, rows), "");
        EXPECT_EQ(rows.width, c.image->width);
        EXPECT_EQ(rows.height, c.image->height);
        EXPECT_EQ(rows.pixels, rgbOf(*c.image));
        PlacedRows placed;
        ASSERT_EQ(decode(file, c.image->width, c.image->height, placed), "");
        EXPECT_EQ(placed.pixels, rgbOf(*c.image));
        EXPECT_EQ(headersOf(file).chooseReduction(c.image->width, c.image->height, 4), 0u);
    }
}

// The reversible colour transform's chroma spans one bit more than its components: a component decoded
// alone is clipped to its precision unless told otherwise, which would turn saturated colours of a
// lossless picture (pure blue: a chroma of 255) into others. They come out exactly.
TEST(Jp2DecodeTest, SaturatedColoursOfALosslessPictureComeOutExactly)
{
    Picture saturated{64, 48, 3, {}};
    const uint8_t colours[][3] = {{0, 0, 255}, {255, 0, 0},   {255, 0, 255}, {0, 255, 0},
                                  {0, 255, 255}, {255, 255, 0}, {0, 0, 0},     {255, 255, 255}};
    for (uint32_t y = 0; y < saturated.height; ++y)
    {
        for (uint32_t x = 0; x < saturated.width; ++x)
        {
            const uint8_t* c = colours[(x / 8 + y / 8) % 8];
            saturated.pixels.insert(saturated.pixels.end(), c, c + 3);
        }
    }
    for (const bool tiles : {false, true})
    {
        EncodeChoices choices;
        choices.tile = tiles ? 32 : 0;
        const Bytes file = encodeWith(saturated, choices);
        ASSERT_TRUE(headersOf(file).colourTransform());
        ASSERT_TRUE(headersOf(file).reversible());
        PlacedRows placed;
        ASSERT_EQ(decode(file, 64, 48, placed), "");
        EXPECT_EQ(placed.pixels, saturated.pixels);
        Rows rows;
        ASSERT_EQ(decode(file, 64, 48, rows), "");
        EXPECT_EQ(rows.pixels, saturated.pixels);
    }
}

// A lossy picture (the irreversible wavelet and colour transform) decoded a component at a time is the
// picture OpenJPEG decodes whole, but for rounding.
TEST(Jp2DecodeTest, ALossyPictureComesOutAsOpenJpegDecodesItWhole)
{
    const Picture rgb = pictureOf(patternBitmap(301, 203), 3);
    EncodeChoices lossy;
    lossy.lossy = true;
    const Bytes file = encodeWith(rgb, lossy);
    ASSERT_TRUE(headersOf(file).colourTransform());
    ASSERT_FALSE(headersOf(file).reversible());
    PlacedRows placed;
    ASSERT_EQ(decode(file, 301, 203, placed), "");
    const Bytes whole = wholeDecodeOf(file);
    ASSERT_EQ(whole.size(), placed.pixels.size());
    int worst = 0;
    for (size_t i = 0; i < whole.size(); ++i)
    {
        worst = std::max(worst, std::abs(int(whole[i]) - int(placed.pixels[i])));
    }
    EXPECT_LE(worst, 2);
}

// A palette picture (pclr and cmap in the header box) is decoded whole, its indexes turned into the
// palette's colours.
TEST(Jp2DecodeTest, APalettePictureComesOutInItsColours)
{
    Picture indexes{64, 48, 1, {}};
    for (uint32_t i = 0; i < 64 * 48; ++i)
    {
        indexes.pixels.push_back(static_cast<uint8_t>(i % 3));
    }
    EncodeChoices bare;
    bare.codestreamOnly = true;
    const Bytes cs = encodeWith(indexes, bare);
    // Three entries of three 8-bit columns: red, green, blue.
    Bytes palette{0, 3, 3, 7, 7, 7, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    Bytes mapping;
    for (uint32_t c = 0; c < 3; ++c)
    {
        mapping.insert(mapping.end(), {0, 0, 1, static_cast<uint8_t>(c)});
    }
    const Bytes file = jp2(cs, 64, 48, 1, box("pclr", palette) + box("cmap", mapping));
    EXPECT_EQ(headersOf(file).paletteColumns(), 3u);
    Rows rows;
    ASSERT_EQ(decode(file, 64, 48, rows), "");
    ASSERT_EQ(rows.pixels.size(), 64u * 48 * 3);
    for (uint32_t i = 0; i < 64 * 48; ++i)
    {
        const uint8_t* p = rows.pixels.data() + i * 3;
        const uint32_t which = i % 3;
        EXPECT_EQ(p[which], 255) << i;
        EXPECT_EQ(int(p[0]) + p[1] + p[2], 255) << i;
    }
}
