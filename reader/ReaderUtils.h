#pragma once

#include <stdexcept>

#include "ImageFileReaderInterface.h"

class AvcDecoderConfigRecord;
class CleanAperture;
class HevcDecoderConfigRecord;
class LayeredHevcDecoderConfigRecord;

namespace readerutils
{
/// Look-up in a table the reader trusts to hold the key; from a const table the entry is const
/// too. The text is fixed here so that it does not depend on the standard library in use.
template <typename Map>
auto& mapAt(Map& map, const typename Map::key_type& key)
{
    const auto it = map.find(key);
    if (it == map.end())
    {
        throw std::out_of_range("map::at:  key not found");
    }
    return it->second;
}

/// Look-up of something a caller named (an item, a context): FileReaderException with error when
/// the table does not hold it.
template <typename Map>
const typename Map::mapped_type& findOrThrow(const Map& map, const typename Map::key_type& key,
                                             ImageFileReaderInterface::ErrorCode error)
{
    const auto it = map.find(key);
    if (it == map.end())
    {
        throw ImageFileReaderInterface::FileReaderException(error);
    }
    return it->second;
}

ImageFileReaderInterface::ClapProperty toClapProperty(const CleanAperture& clap);

/// "VPS", "SPS", "PPS" (AVC: "SPS", "PPS") of a configuration record, each present even when
/// empty, every unit after a 4-byte start code.
ImageFileReaderInterface::ParameterSetMap hevcParameterSets(const HevcDecoderConfigRecord& record);
ImageFileReaderInterface::ParameterSetMap layeredParameterSets(const LayeredHevcDecoderConfigRecord& record);
ImageFileReaderInterface::ParameterSetMap avcParameterSets(const AvcDecoderConfigRecord& record);
}  // namespace readerutils
