#include "EntityToGroupBox.h"

#include <stdexcept>

#include "UniqueId.h"

EntityToGroupBox::EntityToGroupBox()
    : FullBox(FourCCInt("altr"), 0, 0), mGroupId(static_cast<std::uint32_t>(getNextUniqueId(0)))
{
}

void EntityToGroupBox::writeBox(BitStream& bitstr)
{
    writeFullBoxHeader(bitstr);
    bitstr.writeU32(mGroupId);
    bitstr.writeU32(static_cast<std::uint32_t>(mEntityIds.size()));
    for (const auto id : mEntityIds)
    {
        bitstr.writeU32(id);
    }
    updateSize(bitstr);
}

void EntityToGroupBox::parseBox(BitStream& bitstr)
{
    parseFullBoxHeader(bitstr);
    mGroupId = bitstr.readU32();
    const std::uint32_t count = bitstr.readU32();
    if (std::uint64_t(count) * 4 > bitstr.numBytesLeft())
    {
        throwVectorOutOfRange();
    }
    mEntityIds.clear();
    mEntityIds.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i)
    {
        mEntityIds.push_back(bitstr.readU32());
    }
}
