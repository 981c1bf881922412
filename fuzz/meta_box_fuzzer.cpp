// Parses arbitrary bytes as a meta box, an item properties box, a decoder configuration box or an
// operating points property, and writes back what parsed. What this library writes for its
// properties and records must parse again.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "AvcConfigurationBox.h"
#include "BitStream.h"
#include "HevcConfigurationBox.h"
#include "ItemPropertiesBox.h"
#include "LayeredHevcConfigurationItemProperty.h"
#include "LogStream.h"
#include "MetaBox.h"
#include "OperatingPointsInformation.h"

namespace
{
template <typename BoxT>
void parseAndWrite(const std::vector<std::uint8_t>& bytes, bool mustReparse)
{
    BitStream out;
    try
    {
        BitStream in(bytes);
        BoxT box;
        box.parseBox(in);
        box.writeBox(out);
    }
    catch (const std::exception&)
    {
        return;
    }
    if (!mustReparse)
    {
        return;
    }
    try
    {
        BoxT again;
        BitStream in(out.getStorage());
        again.parseBox(in);
    }
    catch (const std::exception&)
    {
        __builtin_trap();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
    {
        return 0;
    }
    setLogLevel(-1);  // unknown properties log a line each
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    switch (data[0] % 6)
    {
    case 0:
        parseAndWrite<MetaBox>(bytes, false);
        break;
    case 1:
        parseAndWrite<ItemPropertiesBox>(bytes, true);
        break;
    case 2:
        parseAndWrite<HevcConfigurationBox>(bytes, true);
        break;
    case 3:
        parseAndWrite<AvcConfigurationBox>(bytes, true);
        break;
    case 4:
        parseAndWrite<LayeredHevcConfigurationItemProperty>(bytes, true);
        break;
    default:
        parseAndWrite<OperatingPointsInformation>(bytes, true);
        break;
    }
    return 0;
}
