#pragma once

// Writes H.265 syntax elements into NAL units for tests: fixed-width fields, exp-Golomb codes,
// the RBSP trailing bits, emulation prevention and a start code.

#include <cstdint>
#include <string>
#include <vector>

#include "ParserTestUtil.h"

namespace h265test
{
using parsertest::Bytes;
using parsertest::join;
using parsertest::readFile;
using parsertest::writeFile;

class BitWriter : public parsertest::BasicBitWriter<BitWriter>
{
public:
    /// profile_tier_level with the profile (Main, level 3.1) and no sub-layers.
    BitWriter& ptl(bool profilePresent = true)
    {
        if (profilePresent)
        {
            bits(0, 2).flag(false).bits(1, 5).bits(0x60000000, 32).bits(0x900000000000ull, 48);
        }
        return bits(93, 8);
    }
    /// An explicit short-term reference picture set (not predicted).
    BitWriter& rps(bool mayPredict, const std::vector<int>& negative, const std::vector<int>& positive,
                   bool used = true)
    {
        if (mayPredict)
        {
            flag(false);
        }
        ue(std::uint32_t(negative.size())).ue(std::uint32_t(positive.size()));
        int previous = 0;
        for (int d : negative)
        {
            ue(std::uint32_t(previous - d - 1)).flag(used);
            previous = d;
        }
        previous = 0;
        for (int d : positive)
        {
            ue(std::uint32_t(d - previous - 1)).flag(used);
            previous = d;
        }
        return *this;
    }
    /// rbsp_trailing_bits, then the NAL unit with its header, emulation prevention and a
    /// four-byte start code.
    Bytes nalUnit(unsigned type, unsigned layerId = 0, unsigned temporalIdPlus1 = 1) const
    {
        return withStartCode(
            {std::uint8_t((type << 1) | (layerId >> 5)), std::uint8_t(((layerId & 31) << 3) | temporalIdPlus1)},
            toBytes(true));
    }
    /// The RBSP after the header, without trailing bits (for parsing the set directly).
    Bytes rbsp() const { return toBytes(false); }
};

// ---- parameter sets and slices of a small single-layer stream ----

struct SpsOptions
{
    unsigned id = 0;
    unsigned width = 64;
    unsigned height = 64;
    unsigned log2MaxPocLsbMinus4 = 4;
    unsigned log2MinCbMinus3 = 0;
    unsigned log2DiffMaxMinCb = 1;  // 16x16 coding tree blocks
    /// Short-term sets as (negative deltas, positive deltas).
    std::vector<std::pair<std::vector<int>, std::vector<int>>> refPicSets;
    std::vector<unsigned> longTermLsbs;  // lt_ref_pic_poc_lsb_sps, all used
    bool longTermPresent = false;
    unsigned layerId = 0;
};

inline Bytes makeVps(unsigned id = 0)
{
    BitWriter w;
    w.bits(id, 4).flag(true).flag(true).bits(0, 6).bits(0, 3).flag(true).bits(0xffff, 16).ptl();
    w.flag(true).ue(4).ue(0).ue(0);  // sub-layer ordering
    w.bits(0, 6).ue(0);              // vps_max_layer_id, vps_num_layer_sets_minus1
    w.flag(false).flag(false);       // timing, extension
    return w.nalUnit(32);
}

inline Bytes makeSps(const SpsOptions& o)
{
    BitWriter w;
    w.bits(0, 4).bits(0, 3).flag(true).ptl();
    w.ue(o.id).ue(1).ue(o.width).ue(o.height).flag(false).ue(0).ue(0).ue(o.log2MaxPocLsbMinus4);
    w.flag(true).ue(4).ue(0).ue(0);
    w.ue(o.log2MinCbMinus3).ue(o.log2DiffMaxMinCb).ue(0).ue(2).ue(0).ue(0);
    w.flag(false).flag(false).flag(false).flag(false);  // scaling lists, amp, sao, pcm
    w.ue(std::uint32_t(o.refPicSets.size()));
    for (std::size_t i = 0; i < o.refPicSets.size(); ++i)
    {
        w.rps(i != 0, o.refPicSets[i].first, o.refPicSets[i].second);
    }
    w.flag(o.longTermPresent);
    if (o.longTermPresent)
    {
        w.ue(std::uint32_t(o.longTermLsbs.size()));
        for (unsigned lsb : o.longTermLsbs)
        {
            w.bits(lsb, o.log2MaxPocLsbMinus4 + 4).flag(true);
        }
    }
    w.flag(false).flag(false).flag(false).flag(false);  // tmvp, strong intra, vui, extension
    return w.nalUnit(33, o.layerId);
}

struct PpsOptions
{
    unsigned id = 0;
    unsigned spsId = 0;
    bool listsModification = false;
    bool tiles = false;
    unsigned tileColumnsMinus1 = 0;
    unsigned tileRowsMinus1 = 0;
    bool wpp = false;
    unsigned layerId = 0;
    bool dependentSlices = false;
};

inline Bytes makePps(const PpsOptions& o)
{
    BitWriter w;
    w.ue(o.id).ue(o.spsId).flag(o.dependentSlices).flag(false).bits(0, 3).flag(false).flag(false);
    w.ue(0).ue(0).se(0).flag(false).flag(false).flag(false).se(0).se(0).flag(false);
    w.flag(false).flag(false).flag(false).flag(o.tiles).flag(o.wpp);
    if (o.tiles)
    {
        w.ue(o.tileColumnsMinus1).ue(o.tileRowsMinus1).flag(true).flag(true);
    }
    w.flag(false).flag(false).flag(false).flag(o.listsModification).ue(0).flag(false).flag(false);
    return w.nalUnit(34, o.layerId);
}

/// An IDR slice (type 20) that starts its picture.
inline Bytes makeIdrSlice(unsigned ppsId = 0)
{
    BitWriter w;
    w.flag(true).flag(false).ue(ppsId).ue(2).se(0);
    return w.nalUnit(20);
}
}  // namespace h265test
