// Parses arbitrary bytes as each item-level box and description, and writes back what parsed.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "BitStream.h"
#include "DataInformationBox.h"
#include "GroupsListBox.h"
#include "ImageGrid.h"
#include "ImageOverlay.h"
#include "ItemDataBox.h"
#include "ItemInfoBox.h"
#include "ItemLocationBox.h"
#include "ItemProtectionBox.h"
#include "ItemReferenceBox.h"

namespace
{
template <typename BoxT>
void parseAndWrite(const std::vector<std::uint8_t>& bytes)
{
    try
    {
        BitStream in(bytes);
        BoxT box;
        box.parseBox(in);
        BitStream out;
        box.writeBox(out);
    }
    catch (const std::exception&)
    {
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
    {
        return 0;
    }
    // The first byte picks the parser, so the fuzzer can learn each layout separately.
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    switch (data[0] % 9)
    {
    case 0:
        parseAndWrite<ItemLocationBox>(bytes);
        break;
    case 1:
        parseAndWrite<ItemInfoBox>(bytes);
        break;
    case 2:
        parseAndWrite<ItemReferenceBox>(bytes);
        break;
    case 3:
        parseAndWrite<GroupsListBox>(bytes);
        break;
    case 4:
        parseAndWrite<DataInformationBox>(bytes);
        break;
    case 5:
        parseAndWrite<ItemProtectionBox>(bytes);
        break;
    case 6:
        parseAndWrite<ItemDataBox>(bytes);
        break;
    case 7:
        try
        {
            BitStream in(bytes);
            BitStream out;
            writeImageGrid(parseImageGrid(in), out);
        }
        catch (const std::exception&)
        {
        }
        break;
    default:
        try
        {
            BitStream in(bytes);
            BitStream out;
            writeImageOverlay(parseImageOverlay(in), out);
        }
        catch (const std::exception&)
        {
        }
        break;
    }
    return 0;
}
