#include "HeifItems.h"

#include <cstring>
#include <functional>

namespace pravix
{
namespace
{

class Cursor
{
public:
    Cursor(const uint8_t* p, size_t n) : mP(p), mN(n) {}

    size_t left() const { return mN - mPos; }
    const uint8_t* here() const { return mP + mPos; }
    void need(size_t k) const
    {
        if (k > left())
        {
            throw HeifFormatError("box truncated");
        }
    }
    void skip(size_t k)
    {
        need(k);
        mPos += k;
    }
    uint64_t uint(size_t bytes)
    {
        need(bytes);
        uint64_t v = 0;
        for (size_t i = 0; i < bytes; ++i)
        {
            v = (v << 8) | mP[mPos++];
        }
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(uint(1)); }
    uint16_t u16() { return static_cast<uint16_t>(uint(2)); }
    uint32_t u32() { return static_cast<uint32_t>(uint(4)); }
    std::string fourcc()
    {
        need(4);
        std::string s(reinterpret_cast<const char*>(here()), 4);
        mPos += 4;
        return s;
    }

private:
    const uint8_t* mP;
    size_t mN;
    size_t mPos = 0;
};

// Calls fn(type, payload, payloadSize) for each box in [p, p + n).
void forEachBox(const uint8_t* p, size_t n, const std::function<void(const std::string&, const uint8_t*, size_t)>& fn)
{
    Cursor c(p, n);
    while (c.left() > 0)
    {
        const uint8_t* start = c.here();
        const size_t available = c.left();
        uint64_t size = c.u32();
        const std::string type = c.fourcc();
        size_t header = 8;
        if (size == 1)
        {
            size = c.uint(8);
            header = 16;
        }
        else if (size == 0)
        {
            size = available;
        }
        if (type == "uuid")
        {
            header += 16;
        }
        if (size < header || size > available)
        {
            throw HeifFormatError("box '" + type + "' does not fit");
        }
        fn(type, start + header, static_cast<size_t>(size - header));
        c.skip(static_cast<size_t>(size) - (c.here() - start));
    }
}

}  // namespace

HeifItems::HeifItems(const uint8_t* data, size_t size) : mData(data), mSize(size)
{
    bool sawFtyp = false;
    bool sawMeta = false;
    forEachBox(data, size,
               [&](const std::string& type, const uint8_t* p, size_t n)
               {
                   if (type == "ftyp")
                   {
                       sawFtyp = true;
                   }
                   else if (type == "meta" && !sawMeta)
                   {
                       sawMeta = true;
                       parseMeta(p, n);
                   }
               });
    if (!sawFtyp || !sawMeta)
    {
        throw HeifFormatError("no file type box or no meta box");
    }
    if (!mHasPrimary || mItems.find(mPrimaryItemId) == mItems.end())
    {
        throw HeifFormatError("no primary item");
    }
}

void HeifItems::parseMeta(const uint8_t* p, size_t n)
{
    Cursor c(p, n);
    c.skip(4);  // version and flags
    bool pictHandler = false;
    forEachBox(c.here(), c.left(),
               [&](const std::string& type, const uint8_t* q, size_t m)
               {
                   Cursor b(q, m);
                   if (type == "hdlr")
                   {
                       b.skip(8);
                       pictHandler = b.fourcc() == "pict";
                   }
                   else if (type == "pitm")
                   {
                       const uint8_t version = b.u8();
                       b.skip(3);
                       mPrimaryItemId = version == 0 ? b.u16() : b.u32();
                       mHasPrimary = true;
                   }
                   else if (type == "iloc")
                   {
                       parseLocations(q, m);
                   }
                   else if (type == "iinf")
                   {
                       parseInfos(q, m);
                   }
                   else if (type == "iref")
                   {
                       parseReferences(q, m);
                   }
                   else if (type == "iprp")
                   {
                       parseProperties(q, m);
                   }
                   else if (type == "idat")
                   {
                       mIdat = q;
                       mIdatSize = m;
                   }
               });
    if (!pictHandler)
    {
        throw HeifFormatError("meta box is not a picture handler");
    }
}

void HeifItems::parseLocations(const uint8_t* p, size_t n)
{
    Cursor c(p, n);
    const uint8_t version = c.u8();
    c.skip(3);
    if (version > 2)
    {
        throw HeifFormatError("unknown item location version");
    }
    const uint8_t sizes1 = c.u8();
    const uint8_t sizes2 = c.u8();
    const size_t offsetSize = sizes1 >> 4;
    const size_t lengthSize = sizes1 & 15;
    const size_t baseOffsetSize = sizes2 >> 4;
    const size_t indexSize = version >= 1 ? (sizes2 & 15) : 0;
    for (size_t s : {offsetSize, lengthSize, baseOffsetSize, indexSize})
    {
        if (s != 0 && s != 4 && s != 8)
        {
            throw HeifFormatError("bad field size in item locations");
        }
    }
    const uint32_t count = version < 2 ? c.u16() : c.u32();
    for (uint32_t i = 0; i < count; ++i)
    {
        const uint32_t id = version < 2 ? c.u16() : c.u32();
        HeifItem& item = mItems[id];
        item.id = id;
        item.hasLocation = true;
        if (version >= 1)
        {
            item.constructionMethod = c.u16() & 15;
        }
        item.dataReferenceIndex = c.u16();
        item.baseOffset = c.uint(baseOffsetSize);
        const uint16_t extentCount = c.u16();
        item.extents.clear();
        for (uint16_t e = 0; e < extentCount; ++e)
        {
            c.uint(indexSize);
            const uint64_t offset = c.uint(offsetSize);
            const uint64_t length = c.uint(lengthSize);
            item.extents.emplace_back(offset, length);
        }
    }
}

void HeifItems::parseInfos(const uint8_t* p, size_t n)
{
    Cursor c(p, n);
    const uint8_t version = c.u8();
    c.skip(3);
    c.skip(version == 0 ? 2 : 4);  // entry count; the boxes themselves say how many there are
    forEachBox(c.here(), c.left(),
               [&](const std::string& type, const uint8_t* q, size_t m)
               {
                   if (type != "infe")
                   {
                       return;
                   }
                   Cursor b(q, m);
                   const uint8_t v = b.u8();
                   b.skip(3);
                   if (v < 2)
                   {
                       return;
                   }
                   const uint32_t id = v == 2 ? b.u16() : b.u32();
                   b.skip(2);  // protection index
                   HeifItem& item = mItems[id];
                   item.id = id;
                   item.type = b.fourcc();
               });
}

void HeifItems::parseReferences(const uint8_t* p, size_t n)
{
    Cursor c(p, n);
    const uint8_t version = c.u8();
    c.skip(3);
    const size_t idSize = version == 0 ? 2 : 4;
    forEachBox(c.here(), c.left(),
               [&](const std::string& type, const uint8_t* q, size_t m)
               {
                   Cursor b(q, m);
                   Reference ref;
                   ref.type = type;
                   ref.from = static_cast<uint32_t>(b.uint(idSize));
                   const uint16_t count = b.u16();
                   b.need(static_cast<size_t>(count) * idSize);
                   for (uint16_t i = 0; i < count; ++i)
                   {
                       ref.to.push_back(static_cast<uint32_t>(b.uint(idSize)));
                   }
                   mReferences.push_back(std::move(ref));
               });
}

void HeifItems::parseProperties(const uint8_t* p, size_t n)
{
    forEachBox(p, n,
               [&](const std::string& type, const uint8_t* q, size_t m)
               {
                   if (type == "ipco")
                   {
                       forEachBox(q, m,
                                  [&](const std::string& t, const uint8_t* r, size_t k) {
                                      mProperties.push_back(HeifProperty{t, r, k});
                                  });
                   }
                   else if (type == "ipma")
                   {
                       Cursor b(q, m);
                       const uint8_t version = b.u8();
                       b.skip(2);
                       const bool wide = (b.u8() & 1) != 0;
                       const uint32_t count = b.u32();
                       for (uint32_t i = 0; i < count; ++i)
                       {
                           const uint32_t id = version < 1 ? b.u16() : b.u32();
                           const uint8_t associations = b.u8();
                           HeifItem& item = mItems[id];
                           item.id = id;
                           for (uint8_t a = 0; a < associations; ++a)
                           {
                               const uint32_t index = wide ? (b.u16() & 0x7FFF) : (b.u8() & 0x7F);
                               if (index != 0)
                               {
                                   item.propertyIndexes.push_back(index);
                               }
                           }
                       }
                   }
               });
}

const HeifItem* HeifItems::item(uint32_t id) const
{
    auto it = mItems.find(id);
    return it == mItems.end() ? nullptr : &it->second;
}

uint64_t HeifItems::checkItemData(uint32_t id) const
{
    const HeifItem* it = item(id);
    if (it == nullptr || !it->hasLocation)
    {
        throw HeifFormatError("item has no location");
    }
    if (it->dataReferenceIndex != 0 || it->constructionMethod > 1)
    {
        throw HeifFormatError("item data outside this file");
    }
    const size_t baseSize = it->constructionMethod == 0 ? mSize : mIdatSize;
    if ((it->constructionMethod == 0 ? mData : mIdat) == nullptr)
    {
        throw HeifFormatError("item data box missing");
    }
    uint64_t total = 0;
    for (const auto& [offset, length] : it->extents)
    {
        const uint64_t start = it->baseOffset + offset;
        if (start < offset || start > baseSize)
        {
            throw HeifFormatError("item extent outside the file");
        }
        const uint64_t len = length == 0 && it->extents.size() == 1 ? baseSize - start : length;
        if (len > baseSize - start)
        {
            throw HeifFormatError("item extent outside the file");
        }
        total += len;
        if (total > baseSize)
        {
            throw HeifFormatError("item larger than the file");
        }
    }
    return total;
}

std::vector<uint8_t> HeifItems::itemData(uint32_t id) const
{
    const uint64_t total = checkItemData(id);
    const HeifItem* it = item(id);
    const uint8_t* base = it->constructionMethod == 0 ? mData : mIdat;
    const size_t baseSize = it->constructionMethod == 0 ? mSize : mIdatSize;
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(total));
    for (const auto& [offset, length] : it->extents)
    {
        const uint64_t start = it->baseOffset + offset;
        const uint64_t len = length == 0 && it->extents.size() == 1 ? baseSize - start : length;
        out.insert(out.end(), base + start, base + start + len);
    }
    return out;
}

std::vector<uint32_t> HeifItems::references(uint32_t from, const std::string& type) const
{
    for (const Reference& r : mReferences)
    {
        if (r.from == from && r.type == type)
        {
            return r.to;
        }
    }
    return {};
}

std::vector<uint32_t> HeifItems::referencesTo(uint32_t to, const std::string& type) const
{
    std::vector<uint32_t> out;
    for (const Reference& r : mReferences)
    {
        if (r.type == type)
        {
            for (uint32_t t : r.to)
            {
                if (t == to)
                {
                    out.push_back(r.from);
                    break;
                }
            }
        }
    }
    return out;
}

std::vector<const HeifProperty*> HeifItems::properties(uint32_t id) const
{
    std::vector<const HeifProperty*> out;
    const HeifItem* it = item(id);
    if (it == nullptr)
    {
        return out;
    }
    for (uint32_t index : it->propertyIndexes)
    {
        if (index > mProperties.size())
        {
            throw HeifFormatError("property index out of range");
        }
        out.push_back(&mProperties[index - 1]);
    }
    return out;
}

const HeifProperty* HeifItems::property(uint32_t id, const std::string& type) const
{
    for (const HeifProperty* p : properties(id))
    {
        if (p->type == type)
        {
            return p;
        }
    }
    return nullptr;
}

}  // namespace pravix
