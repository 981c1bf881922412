// Reads the item boxes of every sample file's root 'meta' box and writes them back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "BoxBuilder.h"
#include "DataInformationBox.h"
#include "ImageGrid.h"
#include "ItemDataBox.h"
#include "ItemInfoBox.h"
#include "ItemLocationBox.h"
#include "ItemReferenceBox.h"
#include "MetaBox.h"
#include "UnknownProperty.h"

namespace
{
namespace fs = std::filesystem;
using testsupport::Bytes;

/// The bytes of the first root 'meta' box, or nothing.
Bytes rootMeta(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    BitStream stream(Bytes(std::istreambuf_iterator<char>(in), {}));
    try
    {
        while (stream.numBytesLeft() > 0)
        {
            FourCCInt type;
            BitStream box = stream.readChildBox(type);
            if (type == FourCCInt("meta"))
            {
                return box.getStorage();
            }
        }
    }
    catch (const std::exception&)
    {
    }
    return {};
}

/// The children of the root 'meta' box by type (the first of each), or nothing.
std::map<std::string, Bytes> metaChildren(const fs::path& file)
{
    std::map<std::string, Bytes> children;
    const Bytes meta = rootMeta(file);
    if (meta.empty())
    {
        return children;
    }
    BitStream box(meta);
    box.setPosition(12);  // header, version and flags
    try
    {
        while (box.numBytesLeft() > 0)
        {
            FourCCInt type;
            BitStream child = box.readChildBox(type);
            children.emplace(type.getString(), child.getStorage());
        }
    }
    catch (const std::exception&)
    {
        // Damaged samples: test what was found before the damage.
    }
    return children;
}

std::vector<fs::path> corpusFiles()
{
    std::vector<fs::path> files;
    const fs::path dir(PRAVIX_CORPUS_DIR);
    if (fs::is_directory(dir))
    {
        for (const auto& entry : fs::directory_iterator(dir))
        {
            files.push_back(entry.path());
        }
    }
    return files;
}
}  // namespace

TEST(ItemBoxesCorpus, ParseAndWriteBack)
{
    const auto files = corpusFiles();
    if (files.empty())
    {
        GTEST_SKIP() << "no sample files at " << PRAVIX_CORPUS_DIR;
    }
    int metaBoxes = 0;
    int grids = 0;
    for (const auto& file : files)
    {
        SCOPED_TRACE(file.filename().string());
        const auto children = metaChildren(file);
        if (children.count("iloc") == 0 || children.count("iinf") == 0)
        {
            continue;
        }
        ++metaBoxes;

        // Written boxes read back to the same bytes. Well-formed samples are reproduced byte for
        // byte; the fuzz cases carry set reserved bits or bytes after the last item, which are
        // not kept.
        const bool fuzzCase = file.filename().string().find("overflow") != std::string::npos ||
                              file.filename().string().find("github_45") != std::string::npos;
        if (!fuzzCase)
        {
            testsupport::expectRoundTrip<ItemLocationBox>(children.at("iloc"));
        }
        ItemLocationBox iloc;
        testsupport::parseBytes(iloc, children.at("iloc"));
        testsupport::expectRoundTrip<ItemLocationBox>(testsupport::writeBytes(iloc));

        ItemInfoBox iinf;
        testsupport::parseBytes(iinf, children.at("iinf"));
        EXPECT_FALSE(iinf.getItemIds().empty());
        ItemReferenceBox iref;
        if (children.count("iref"))
        {
            if (fuzzCase)
            {
                // Damaged reference lists must fail cleanly.
                try
                {
                    testsupport::parseBytes(iref, children.at("iref"));
                }
                catch (const std::out_of_range&)
                {
                }
            }
            else
            {
                testsupport::parseBytes(iref, children.at("iref"));
                testsupport::expectRoundTrip<ItemReferenceBox>(children.at("iref"));
            }
        }
        if (children.count("dinf"))
        {
            testsupport::expectRoundTrip<DataInformationBox>(children.at("dinf"));
        }
        ItemDataBox idat;
        if (children.count("idat"))
        {
            testsupport::parseBytes(idat, children.at("idat"));
            testsupport::expectRoundTrip<ItemDataBox>(children.at("idat"));
        }
        for (const auto id : iinf.getItemIds())
        {
            if (fuzzCase || iinf.getItemById(id).getItemType() != "grid")
            {
                continue;
            }
            const auto& location = iloc.getItemLocationForID(id);
            if (location.getConstructionMethod() != ItemLocation::kIdatOffset)
            {
                continue;
            }
            // A grid's tiles are its 'dimg' references, one per cell.
            Bytes description;
            idat.read(description, location.getBaseOffset() + location.getExtent(0).mExtentOffset,
                      location.getExtent(0).mExtentLength);
            BitStream stream(description);
            const ImageGrid grid = parseImageGrid(stream);
            std::size_t tiles = 0;
            for (const auto& reference : iref.getReferencesOfType("dimg"))
            {
                if (reference.getFromItemID() == id)
                {
                    tiles += reference.getToItemIds().size();
                }
            }
            EXPECT_EQ(tiles, std::size_t(grid.rowsMinusOne + 1) * (grid.columnsMinusOne + 1));
            EXPECT_GT(grid.outputWidth, 0u);
            ++grids;
        }
        ItemInfoBox again;
        testsupport::parseBytes(again, testsupport::writeBytes(iinf));
        EXPECT_EQ(again.getItemIds(), iinf.getItemIds());
        for (const auto id : iinf.getItemIds())
        {
            EXPECT_EQ(again.getItemById(id).getItemType(), iinf.getItemById(id).getItemType());
            EXPECT_EQ(again.getItemById(id).getItemName(), iinf.getItemById(id).getItemName());
        }
    }
    EXPECT_GT(metaBoxes, 10);
    EXPECT_GT(grids, 3);
}

// A meta box written back lost the properties the container did not model while ipma kept their
// indices, so after a parse and write most real files had items pointing at the wrong property.
TEST(ItemBoxesCorpusRegression, WrittenMetaBoxKeepsEveryItemsProperties)
{
    const auto files = corpusFiles();
    if (files.empty())
    {
        GTEST_SKIP() << "no sample files at " << PRAVIX_CORPUS_DIR;
    }
    int written = 0;
    int withColourOrUnknown = 0;
    for (const auto& file : files)
    {
        SCOPED_TRACE(file.filename().string());
        const Bytes bytes = rootMeta(file);
        if (bytes.empty())
        {
            continue;
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        MetaBox first;
        MetaBox second;
        Bytes rewritten;
        bool parsed = true;
        try
        {
            testsupport::parseBytes(first, bytes);
        }
        catch (const std::exception&)
        {
            parsed = false;  // damaged samples: nothing to write back
        }
        if (parsed)
        {
            rewritten = testsupport::writeBytes(first);
            testsupport::parseBytes(second, rewritten);
        }
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        if (!parsed)
        {
            continue;
        }
        ++written;

        const ItemPropertiesBox& before = first.getItemPropertiesBox();
        const ItemPropertiesBox& after = second.getItemPropertiesBox();
        ASSERT_EQ(after.getItemPropertyContainer().getPropertyCount(),
                  before.getItemPropertyContainer().getPropertyCount());
        bool special = false;
        for (std::uint32_t i = 0; i < before.getItemPropertyContainer().getPropertyCount(); ++i)
        {
            const auto property = before.getItemPropertyContainer().getProperty(i);
            special = special || property->getType() == FourCCInt("colr") ||
                      std::dynamic_pointer_cast<UnknownProperty>(property) != nullptr;
        }
        withColourOrUnknown += special ? 1 : 0;

        EXPECT_EQ(second.getItemInfoBox().getItemIds(), first.getItemInfoBox().getItemIds());
        for (const auto id : first.getItemInfoBox().getItemIds())
        {
            const auto entriesBefore = before.getItemPropertyAssociation().getAssociationEntries(id);
            const auto entriesAfter = after.getItemPropertyAssociation().getAssociationEntries(id);
            ASSERT_EQ(entriesAfter.size(), entriesBefore.size()) << "item " << id;
            for (std::size_t i = 0; i < entriesBefore.size(); ++i)
            {
                EXPECT_EQ(entriesAfter[i].index, entriesBefore[i].index) << "item " << id;
                EXPECT_EQ(entriesAfter[i].essential, entriesBefore[i].essential) << "item " << id;
                if (entriesBefore[i].index == 0)
                {
                    continue;
                }
                const auto propertyBefore = before.getItemPropertyContainer().getProperty(entriesBefore[i].index - 1u);
                const auto propertyAfter = after.getItemPropertyContainer().getProperty(entriesAfter[i].index - 1u);
                if (propertyBefore == nullptr)
                {
                    EXPECT_EQ(propertyAfter, nullptr);
                    continue;
                }
                ASSERT_NE(propertyAfter, nullptr) << "item " << id;
                EXPECT_EQ(propertyAfter->getType(), propertyBefore->getType()) << "item " << id;
                EXPECT_EQ(testsupport::writeBytes(*propertyAfter), testsupport::writeBytes(*propertyBefore))
                    << "item " << id;
            }
        }
    }
    EXPECT_GE(written, 20);
    EXPECT_GT(withColourOrUnknown, 15);
}
