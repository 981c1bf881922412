// The reader over arbitrary bytes in memory, then every query over every context and item.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "HevcImageFileReader.h"
#include "LogStream.h"

namespace
{
using Reader = ImageFileReaderInterface;

template <typename Call>
void attempt(Call call)
{
    try
    {
        call();
    }
    catch (const std::exception&)
    {
    }
}

void queryItem(HevcImageFileReader& reader, Reader::ContextId ctx, std::uint32_t item)
{
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> ids;
    Reader::ParameterSetMap sets;
    attempt([&] { reader.getItemType(ctx, item); });
    attempt([&] { reader.getWidth(ctx, item); });
    attempt([&] { reader.getHeight(ctx, item); });
    attempt([&] { reader.getItemData(ctx, item, data); });
    attempt([&] { reader.getItemDataWithDecoderParameters(ctx, item, data); });
    attempt([&] { reader.getDecoderCodeType(ctx, item); });
    attempt([&] { reader.getDecoderParameterSets(ctx, item, sets); });
    attempt([&] { reader.getItemGrid(ctx, item); });
    attempt([&] { reader.getItemIovl(ctx, item); });
    attempt([&] { reader.getItemProtectionScheme(ctx, item); });
    attempt([&] { reader.getItemColourProperties(ctx, item); });
    attempt([&] { reader.getTimestampsOfItem(ctx, item, ids); });
    attempt([&] { reader.getItemDecodeDependencies(ctx, item, ids); });
    for (const char* type : {"dimg", "thmb", "auxl", "cdsc", "iloc"})
    {
        attempt([&] { reader.getReferencedFromItemListByType(ctx, item, type, ids); });
        attempt([&] { reader.getReferencedToItemListByType(ctx, item, type, ids); });
    }
    attempt(
        [&]
        {
            for (const auto& property : reader.getItemProperties(ctx, item))
            {
                const std::uint32_t index = property.index;
                attempt([&] { reader.getPropertyImir(ctx, index); });
                attempt([&] { reader.getPropertyIrot(ctx, index); });
                attempt([&] { reader.getPropertyAuxc(ctx, index); });
                attempt([&] { reader.getPropertyRloc(ctx, index); });
                attempt([&] { reader.getPropertyLsel(ctx, index); });
                attempt([&] { reader.getPropertyTols(ctx, index); });
                attempt([&] { reader.getPropertyClap(ctx, index); });
            }
        });
}

void queryContext(HevcImageFileReader& reader, Reader::ContextId ctx, const std::vector<std::uint32_t>& items)
{
    std::vector<std::uint32_t> ids;
    Reader::TimestampMap times;
    Reader::DecodingOrderVector order;
    for (const char* type :
         {"master", "hidden", "grid", "samples", "out_ref", "non_out_ref", "out_non_ref", "display", "bogus"})
    {
        attempt([&] { reader.getItemListByType(ctx, type, ids); });
    }
    attempt([&] { reader.getCoverImageItemId(ctx); });
    attempt([&] { reader.getDisplayWidth(ctx); });
    attempt([&] { reader.getDisplayHeight(ctx); });
    attempt([&] { reader.getPlaybackDurationInSecs(ctx); });
    attempt([&] { reader.getPropertyClap(ctx, 1); });
    attempt([&] { reader.setForcedLoopPlayback(ctx, true); });
    for (int pass = 0; pass < 2; ++pass)
    {
        attempt([&] { reader.getItemTimestamps(ctx, times); });
        attempt([&] { reader.getItemsInDecodingOrder(ctx, order); });
        attempt([&] { reader.setForcedTimedPlayback(ctx, 30.0f); });
    }
    std::size_t count = 0;
    for (const std::uint32_t item : items)
    {
        if (++count > 64)
        {
            break;
        }
        queryItem(reader, ctx, item);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool quiet = []
    {
        setLogLevel(-1);
        std::cout.rdbuf(nullptr);  // the parse prints a line per 'free' box
        return true;
    }();
    (void)quiet;
    std::istringstream stream(std::string(reinterpret_cast<const char*>(data), size));
    HevcImageFileReader reader;
    attempt([&] { reader.initialize(&stream); });

    const auto information = reader.copyFileInformation();
    attempt([&] { reader.getMajorBrand(); });
    attempt([&] { reader.getCompatibleBrands(); });
    reader.getMatrix();

    const auto& meta = information.rootMetaBoxInformation;
    std::vector<std::uint32_t> items;
    for (const auto& image : meta.imageFeaturesMap)
    {
        items.push_back(image.first);
    }
    for (const auto& item : meta.itemFeaturesMap)
    {
        items.push_back(item.first);
    }
    queryContext(reader, meta.contextId, items);
    for (const auto& track : information.trackInformation)
    {
        std::vector<std::uint32_t> samples;
        for (const auto& sample : track.second.samplePropertiesMap)
        {
            samples.push_back(sample.first);
        }
        samples.push_back(static_cast<std::uint32_t>(samples.size()));
        queryContext(reader, track.first, samples);
    }
    queryContext(reader, information.contextId, {1});
    return 0;
}
