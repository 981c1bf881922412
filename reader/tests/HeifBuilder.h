#pragma once

// Builds small HEIF files byte by byte, including shapes the box writers refuse (cycles,
// impossible extents, truncation), for the reader's tests.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "BoxBuilder.h"

namespace readertest
{
using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::makeBox;
using testsupport::makeFullBox;

struct Extent
{
    std::uint64_t index = 0;  // construction method 2: 1-based position in the item's 'iloc' references
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct Item
{
    std::uint32_t id = 0;
    std::string type;
    Bytes data;
    std::uint32_t method = 0;  // 0 bytes in 'mdat', 1 in 'idat', 2 in other items
    bool hidden = false;
    std::uint16_t protectionIndex = 0;
    /// Methods 0 and 1: the data is cut into this many extents.
    unsigned extentCount = 1;
    /// Method 2 (or any method when set): the extents as written.
    std::vector<Extent> extents;
    bool explicitExtents = false;
    bool noLocation = false;
    /// 0: this file; else the 1-based entry of the meta box's 'dref'.
    std::uint16_t dataReferenceIndex = 0;
};

class HeifBuilder
{
public:
    std::string majorBrand = "heic";
    std::vector<std::string> brands = {"mif1", "heic"};
    std::uint8_t ilocVersion = 1;
    std::uint8_t ilocIndexSize = 0;
    std::uint32_t primaryItem = 0;
    bool writePrimary = true;
    /// Root boxes written after the meta box (before mdat).
    std::vector<Bytes> extraRootBoxes;
    /// The 'mdat' goes before the meta box instead of after it.
    bool mdatFirst = false;
    /// A 'dinf' box for the meta box, written as given (none when empty).
    Bytes dinf;

    Item& addItem(std::uint32_t id, const std::string& type, const Bytes& data = Bytes())
    {
        Item item;
        item.id = id;
        item.type = type;
        item.data = data;
        mItems.push_back(item);
        return mItems.back();
    }

    void addReference(const std::string& type, std::uint32_t from, const std::vector<std::uint32_t>& to)
    {
        mReferences.push_back({type, from, to});
    }

    /// Adds a property box; returns its 1-based index.
    std::uint16_t addProperty(const Bytes& box)
    {
        mProperties.push_back(box);
        return static_cast<std::uint16_t>(mProperties.size());
    }

    void associate(std::uint32_t itemId, std::uint16_t index, bool essential = false)
    {
        mAssociations[itemId].push_back({index, essential});
    }

    void addProtectionScheme(const Bytes& sinf) { mProtectionSchemes.push_back(sinf); }

    Bytes build() const
    {
        const Bytes ftyp = makeFtyp();
        // Offsets in 'iloc' have a fixed width, so the meta box's size does not depend on them.
        const Bytes draftMeta = makeMeta(0);
        std::uint64_t mdatPayload = ftyp.size() + 8;
        if (!mdatFirst)
        {
            mdatPayload += draftMeta.size();
            for (const auto& box : extraRootBoxes)
            {
                mdatPayload += box.size();
            }
        }
        const Bytes meta = makeMeta(mdatPayload);
        Bytes mdatData;
        for (const auto& item : mItems)
        {
            if (item.method == 0)
            {
                mdatData.insert(mdatData.end(), item.data.begin(), item.data.end());
            }
        }
        const Bytes mdat = makeBox("mdat", mdatData);
        Bytes file = ftyp;
        if (mdatFirst)
        {
            file = concat({file, mdat, meta});
            for (const auto& box : extraRootBoxes)
            {
                file = concat({file, box});
            }
            return file;
        }
        file = concat({file, meta});
        for (const auto& box : extraRootBoxes)
        {
            file = concat({file, box});
        }
        return concat({file, mdat});
    }

    Bytes makeFtyp() const
    {
        ByteBuilder payload;
        payload.str(majorBrand).u32(0);
        for (const auto& brand : brands)
        {
            payload.str(brand);
        }
        return makeBox("ftyp", payload);
    }

    /// The meta box alone, with mdat data starting at the given file offset.
    Bytes makeMeta(std::uint64_t mdatPayload) const
    {
        Bytes children = makeFullBox("hdlr", 0, 0, ByteBuilder().u32(0).str("pict").u32(0).u32(0).u32(0).u8(0));
        if (writePrimary)
        {
            children = concat({children, makeFullBox("pitm", 0, 0, ByteBuilder().u16(primaryItem))});
        }
        children = concat({children, dinf, makeIloc(mdatPayload), makeIinf()});
        if (!mReferences.empty())
        {
            ByteBuilder iref;
            for (const auto& reference : mReferences)
            {
                ByteBuilder single;
                single.u16(reference.from).u16(static_cast<std::uint32_t>(reference.to.size()));
                for (const auto to : reference.to)
                {
                    single.u16(to);
                }
                iref.raw(makeBox(reference.type, single));
            }
            children = concat({children, makeFullBox("iref", 0, 0, iref)});
        }
        Bytes idat;
        for (const auto& item : mItems)
        {
            if (item.method == 1)
            {
                idat.insert(idat.end(), item.data.begin(), item.data.end());
            }
        }
        if (!idat.empty())
        {
            children = concat({children, makeBox("idat", idat)});
        }
        if (!mProperties.empty() || !mAssociations.empty())
        {
            ByteBuilder ipco;
            for (const auto& property : mProperties)
            {
                ipco.raw(property);
            }
            ByteBuilder ipma;
            ipma.u32(static_cast<std::uint32_t>(mAssociations.size()));
            for (const auto& item : mAssociations)
            {
                ipma.u16(item.first).u8(static_cast<std::uint32_t>(item.second.size()));
                for (const auto& association : item.second)
                {
                    ipma.u8((association.essential ? 0x80u : 0u) | (association.index & 0x7F));
                }
            }
            children =
                concat({children, makeBox("iprp", concat({makeBox("ipco", ipco), makeFullBox("ipma", 0, 0, ipma)}))});
        }
        if (!mProtectionSchemes.empty())
        {
            ByteBuilder ipro;
            ipro.u16(static_cast<std::uint32_t>(mProtectionSchemes.size()));
            for (const auto& sinf : mProtectionSchemes)
            {
                ipro.raw(sinf);
            }
            children = concat({children, makeFullBox("ipro", 0, 0, ipro)});
        }
        return makeFullBox("meta", 0, 0, children);
    }

private:
    struct Reference
    {
        std::string type;
        std::uint32_t from;
        std::vector<std::uint32_t> to;
    };
    struct Association
    {
        std::uint16_t index;
        bool essential;
    };

    Bytes makeIinf() const
    {
        ByteBuilder iinf;
        iinf.u16(static_cast<std::uint32_t>(mItems.size()));
        for (const auto& item : mItems)
        {
            ByteBuilder infe;
            infe.u16(item.id).u16(item.protectionIndex).str(item.type).zstr("");
            if (item.type == "mime")
            {
                infe.zstr("application/rdf+xml");
            }
            iinf.raw(makeFullBox("infe", 2, item.hidden ? 1 : 0, infe));
        }
        return makeFullBox("iinf", 0, 0, iinf);
    }

    Bytes makeIloc(std::uint64_t mdatPayload) const
    {
        ByteBuilder iloc;
        // offset size 4, length size 4, base offset size 4, index size.
        iloc.u8(0x44).u8(0x40 | (ilocVersion == 0 ? 0 : ilocIndexSize));
        std::uint32_t count = 0;
        for (const auto& item : mItems)
        {
            count += item.noLocation ? 0 : 1;
        }
        if (ilocVersion < 2)
        {
            iloc.u16(count);
        }
        else
        {
            iloc.u32(count);
        }
        std::uint64_t mdatPosition = mdatPayload;
        std::uint64_t idatPosition = 0;
        for (const auto& item : mItems)
        {
            std::uint64_t base = 0;
            if (item.method == 0)
            {
                base = mdatPosition;
                mdatPosition += item.data.size();
            }
            else if (item.method == 1)
            {
                base = idatPosition;
                idatPosition += item.data.size();
            }
            if (item.noLocation)
            {
                continue;
            }
            if (ilocVersion < 2)
            {
                iloc.u16(item.id);
            }
            else
            {
                iloc.u32(item.id);
            }
            if (ilocVersion >= 1)
            {
                iloc.u16(item.method & 0xF);
            }
            iloc.u16(item.dataReferenceIndex);

            std::vector<Extent> extents = item.extents;
            if (!item.explicitExtents)
            {
                const std::uint64_t size = item.data.size();
                const unsigned parts = item.extentCount;
                for (unsigned i = 0; i < parts; ++i)
                {
                    Extent extent;
                    extent.offset = size * i / parts;
                    extent.length = size * (i + 1) / parts - extent.offset;
                    extents.push_back(extent);
                }
            }
            iloc.u32(static_cast<std::uint32_t>(item.method == 2 ? 0 : base));
            iloc.u16(static_cast<std::uint32_t>(extents.size()));
            for (const auto& extent : extents)
            {
                if (ilocVersion >= 1 && ilocIndexSize == 4)
                {
                    iloc.u32(static_cast<std::uint32_t>(extent.index));
                }
                iloc.u32(static_cast<std::uint32_t>(extent.offset)).u32(static_cast<std::uint32_t>(extent.length));
            }
        }
        return makeFullBox("iloc", ilocVersion, 0, iloc);
    }

    std::vector<Item> mItems;
    std::vector<Reference> mReferences;
    std::vector<Bytes> mProperties;
    std::map<std::uint32_t, std::vector<Association>> mAssociations;
    std::vector<Bytes> mProtectionSchemes;
};

/// Parameter-set and slice NAL units with lengths of the given size in front, as items hold them.
inline Bytes lengthPrefixed(const std::vector<Bytes>& units, unsigned lengthSize = 4)
{
    ByteBuilder out;
    for (const auto& unit : units)
    {
        const std::uint64_t size = unit.size();
        for (unsigned i = lengthSize; i-- > 0;)
        {
            out.u8(static_cast<std::uint32_t>((size >> (8 * i)) & 0xFF));
        }
        out.raw(unit);
    }
    return out;
}

/// An 'hvcC' box holding one VPS, SPS and PPS, with the given NAL length size.
inline Bytes makeHvcC(const Bytes& vps, const Bytes& sps, const Bytes& pps, unsigned lengthSize = 4)
{
    ByteBuilder record;
    record.u8(1).u8(0x01).u32(0x60000000).u32(0).u16(0).u8(90);
    record.u16(0xF000).u8(0xFC).u8(0xFD).u8(0xF8).u8(0xF8).u16(0);
    record.u8(0x0C | ((lengthSize - 1) & 3));
    record.u8(3);
    const std::pair<std::uint8_t, const Bytes*> arrays[] = {{32, &vps}, {33, &sps}, {34, &pps}};
    for (const auto& array : arrays)
    {
        record.u8(0x80 | array.first).u16(1).u16(static_cast<std::uint32_t>(array.second->size())).raw(*array.second);
    }
    return makeBox("hvcC", record);
}

/// An 'avcC' box (baseline profile) with one SPS and one PPS.
inline Bytes makeAvcC(const Bytes& sps, const Bytes& pps, unsigned lengthSize = 4)
{
    ByteBuilder record;
    record.u8(1).u8(66).u8(0xC0).u8(30).u8(0xFC | ((lengthSize - 1) & 3));
    record.u8(0xE1).u16(static_cast<std::uint32_t>(sps.size())).raw(sps);
    record.u8(1).u16(static_cast<std::uint32_t>(pps.size())).raw(pps);
    return makeBox("avcC", record);
}

inline Bytes makeIspe(std::uint32_t width, std::uint32_t height)
{
    return makeFullBox("ispe", 0, 0, ByteBuilder().u32(width).u32(height));
}
}  // namespace readertest
