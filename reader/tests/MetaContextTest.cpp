#include <gtest/gtest.h>

#include "FileTypeBox.h"
#include "HeifBuilder.h"
#include "HevcConfigurationBox.h"
#include "ImageSpatialExtentsProperty.h"
#include "MetaBox.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using Reader = ImageFileReaderInterface;

namespace
{
const Bytes kTile = lengthPrefixed({{0x26, 0x01, 0xAA}});

/// A 2x2 grid (item 10, primary) of hidden hvc1 tiles 1-4 with rotation and mirroring on the grid.
HeifBuilder gridImage()
{
    HeifBuilder heif;
    heif.primaryItem = 10;
    for (std::uint32_t id = 1; id <= 4; ++id)
    {
        heif.addItem(id, "hvc1", kTile).hidden = true;
    }
    heif.addItem(10, "grid", ByteBuilder().u8(0).u8(0).u8(1).u8(1).u16(1000).u16(700)).method = 1;
    heif.addReference("dimg", 10, {1, 2, 3, 4});
    const auto hvcc = heif.addProperty(makeHvcC({0x40, 0x01}, {0x42, 0x01}, {0x44, 0x01}));
    const auto tileSize = heif.addProperty(makeIspe(512, 512));
    const auto gridSize = heif.addProperty(makeIspe(1000, 700));
    const auto irot = heif.addProperty(makeBox("irot", {0x03}));
    const auto imir = heif.addProperty(makeBox("imir", {0x01}));
    for (std::uint32_t id = 1; id <= 4; ++id)
    {
        heif.associate(id, hvcc, true);
        heif.associate(id, tileSize);
    }
    heif.associate(10, gridSize);
    heif.associate(10, irot, true);
    heif.associate(10, imir, true);
    return heif;
}
}  // namespace

TEST(MetaContext, GridLayoutAndTiles)
{
    auto file = openBytes(gridImage().build());
    const auto ctx = file.meta();
    const Reader::GridItem grid = file->getItemGrid(ctx, 10);
    EXPECT_EQ(grid.rowsMinusOne, 1);
    EXPECT_EQ(grid.columnsMinusOne, 1);
    EXPECT_EQ(grid.outputWidth, 1000u);
    EXPECT_EQ(grid.outputHeight, 700u);
    EXPECT_EQ(grid.itemIds, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_READER_ERROR(file->getItemGrid(ctx, 1), Reader::InvalidItemId);
    EXPECT_READER_ERROR(file->getItemGrid(ctx, 99), Reader::InvalidItemId);
    EXPECT_READER_ERROR(file->getItemIovl(ctx, 10), Reader::InvalidItemId);

    // Hidden tiles without thumbnail or auxiliary references are listed as masters.
    std::vector<std::uint32_t> ids;
    file->getItemListByType(ctx, "master", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    file->getItemListByType(ctx, "grid", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{10});
    EXPECT_EQ(file->getCoverImageItemId(ctx), 10u);
    EXPECT_EQ(file->getWidth(ctx, 10), 1000u);
    EXPECT_EQ(file->getHeight(ctx, 1), 512u);
    EXPECT_EQ(file->getDecoderCodeType(ctx, 10), "not supported");
    EXPECT_TRUE(file->getFileInformation().features.count(Reader::FileFeature::IsImageCollection));
    const auto& features = file->getFileInformation().rootMetaBoxInformation;
    EXPECT_TRUE(features.imageFeaturesMap.at(10).count(Reader::ImageFeature::IsDerivedImage));
    EXPECT_TRUE(features.imageFeaturesMap.at(1).count(Reader::ImageFeature::HasLinkedDerivedImage));
    EXPECT_TRUE(features.imageFeaturesMap.at(1).count(Reader::ImageFeature::IsHiddenImage));
    EXPECT_EQ(features.itemFeaturesMap.count(10), 1u);  // derived items have an item entry too
    EXPECT_TRUE(features.features.count(Reader::MetaBoxFeature::HasHiddenImages));

    // Transformations of the grid, in association order.
    const auto properties = file->getItemProperties(ctx, 10);
    ASSERT_EQ(properties.size(), 3u);
    EXPECT_EQ(properties[0].type, Reader::ItemPropertyType::ISPE);
    EXPECT_EQ(properties[1].type, Reader::ItemPropertyType::IROT);
    EXPECT_TRUE(properties[1].essential);
    EXPECT_EQ(properties[2].type, Reader::ItemPropertyType::IMIR);
    EXPECT_EQ(file->getPropertyIrot(ctx, properties[1].index).rotation, 270u);
    EXPECT_TRUE(file->getPropertyImir(ctx, properties[2].index).horizontalAxis);
    EXPECT_READER_ERROR(file->getPropertyIrot(ctx, properties[2].index), Reader::InvalidPropertyIndex);
    EXPECT_READER_ERROR(file->getPropertyIrot(ctx, 100), Reader::InvalidPropertyIndex);
    EXPECT_READER_ERROR(file->getItemProperties(ctx, 99), Reader::InvalidItemId);

    // Every tile decodes with the parameter sets in front.
    std::vector<std::uint8_t> data;
    for (const auto tile : grid.itemIds)
    {
        file->getItemDataWithDecoderParameters(ctx, tile, data);
        EXPECT_EQ(data, (Bytes{0, 0, 0, 1, 0x40, 0x01, 0, 0, 0, 1,    0x42, 0x01,
                               0, 0, 0, 1, 0x44, 0x01, 0, 0, 1, 0x26, 0x01, 0xAA}));
    }
    // The grid description itself is returned as stored.
    file->getItemData(ctx, 10, data);
    EXPECT_EQ(data, (Bytes{0, 0, 1, 1, 0x03, 0xE8, 0x02, 0xBC}));
}

TEST(MetaContext, ProtectedAndBrokenGrids)
{
    HeifBuilder protectedGrid = gridImage();
    protectedGrid.addItem(11, "grid", ByteBuilder().u8(0)).protectionIndex = 1;  // not read at all
    protectedGrid.addProtectionScheme(makeBox("sinf", {}));
    auto file = openBytes(protectedGrid.build());
    EXPECT_READER_ERROR(file->getItemGrid(file.meta(), 11), Reader::ProtectedItem);
    EXPECT_READER_ERROR(file->getItemIovl(file.meta(), 11), Reader::ProtectedItem);

    // A grid payload too short for its fields stops the parse with the stream's failure.
    HeifBuilder shortGrid = gridImage();
    shortGrid.addItem(12, "grid", ByteBuilder().u8(0).u8(0).u8(1));
    OpenedFile broken;
    EXPECT_THROW(tryOpen(shortGrid.build(), broken), std::out_of_range);
    EXPECT_EQ(broken->getState(), 1);
}

TEST(MetaContext, Overlay)
{
    HeifBuilder heif;
    heif.primaryItem = 5;
    heif.addItem(1, "hvc1", kTile);
    heif.addItem(2, "hvc1", kTile);
    heif.addItem(
        5, "iovl",
        ByteBuilder().u8(0).u8(0).u16(1).u16(2).u16(3).u16(0xFFFF).u16(300).u16(200).u16(0xFFFF).u16(16).u16(10).u16(
            20));
    heif.addReference("dimg", 5, {2, 1});
    auto file = openBytes(heif.build());
    const Reader::OverlayItem overlay = file->getItemIovl(file.meta(), 5);
    EXPECT_EQ(overlay.canvasFillValue, (std::array<std::uint16_t, 4>{1, 2, 3, 0xFFFF}));
    EXPECT_EQ(overlay.outputWidth, 300u);
    EXPECT_EQ(overlay.outputHeight, 200u);
    EXPECT_EQ(overlay.itemIds, (std::vector<std::uint32_t>{2, 1}));
    EXPECT_EQ(overlay.offsets, (std::vector<std::pair<std::int32_t, std::int32_t>>{{-1, 16}, {10, 20}}));
    EXPECT_EQ(file->getItemType(file.meta(), 5), "iovl");
}

TEST(MetaContext, ImageTypesByReference)
{
    HeifBuilder heif;
    heif.primaryItem = 1;
    heif.addItem(1, "hvc1", kTile);
    heif.addItem(2, "hvc1", kTile);                   // thumbnail of 1
    heif.addItem(3, "hvc1", kTile).hidden = true;     // hidden alpha of 1
    heif.addItem(4, "hvc1", kTile);                   // auxiliary, pre-computed from 1
    heif.addItem(5, "exif", ByteBuilder().str("x"));  // lower case: no Exif feature
    heif.addItem(6, "hvt1", kTile);
    heif.addReference("thmb", 2, {1});
    heif.addReference("auxl", 3, {1});
    heif.addReference("auxl", 4, {1});
    heif.addReference("base", 4, {1});
    const auto auxc =
        heif.addProperty(makeFullBox("auxC", 0, 0, ByteBuilder().zstr("urn:mpeg:hevc:2015:auxid:1").u8(1).u8(2).u8(3)));
    const auto clap = heif.addProperty(
        makeBox("clap", ByteBuilder().u32(451).u32(1).u32(461).u32(1).u32(0xFFFFFFFF).u32(2).u32(0).u32(1)));
    const auto rloc = heif.addProperty(makeFullBox("rloc", 0, 0, ByteBuilder().u32(5).u32(6)));
    const auto lsel = heif.addProperty(makeBox("lsel", ByteBuilder().u16(7)));
    const auto tols = heif.addProperty(makeFullBox("tols", 0, 0, ByteBuilder().u16(8)));
    heif.associate(3, auxc, true);
    heif.associate(1, clap, true);
    heif.associate(1, rloc);
    heif.associate(1, lsel);
    heif.associate(1, tols);
    auto file = openBytes(heif.build());
    const auto ctx = file.meta();

    EXPECT_EQ(file->getItemType(ctx, 1), "master");
    EXPECT_EQ(file->getItemType(ctx, 2), "hvc1");
    EXPECT_EQ(file->getItemType(ctx, 3), "hidden");
    EXPECT_EQ(file->getItemType(ctx, 4), "pre-computed");
    EXPECT_EQ(file->getItemType(ctx, 5), "exif");
    EXPECT_EQ(file->getItemType(ctx, 6), "hvt1");
    const auto& info = file->getFileInformation().rootMetaBoxInformation;
    EXPECT_TRUE(info.itemFeaturesMap.at(5).empty());
    EXPECT_EQ(info.itemFeaturesMap.at(6), Reader::ItemFeatureSet{Reader::ItemFeature::IsTileImageItem});
    EXPECT_EQ(info.imageFeaturesMap.at(1),
              (Reader::ImageFeatureSet{Reader::ImageFeature::IsMasterImage, Reader::ImageFeature::IsPrimaryImage,
                                       Reader::ImageFeature::IsCoverImage, Reader::ImageFeature::HasLinkedThumbnails,
                                       Reader::ImageFeature::HasLinkedAuxiliaryImage,
                                       Reader::ImageFeature::HasLinkedPreComputedDerivedImage}));
    EXPECT_TRUE(info.features.count(Reader::MetaBoxFeature::HasThumbnails));
    EXPECT_TRUE(info.features.count(Reader::MetaBoxFeature::HasAuxiliaryImages));
    EXPECT_TRUE(info.features.count(Reader::MetaBoxFeature::HasPreComputedDerivedImages));

    std::vector<std::uint32_t> ids;
    file->getReferencedToItemListByType(ctx, 1, "thmb", ids);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{2});
    file->getReferencedToItemListByType(ctx, 1, "auxl", ids);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 4}));

    const auto auxProperties = file->getItemProperties(ctx, 3);
    ASSERT_EQ(auxProperties.size(), 1u);
    const auto aux = file->getPropertyAuxc(ctx, auxProperties[0].index);
    EXPECT_EQ(aux.auxType, "urn:mpeg:hevc:2015:auxid:1");
    EXPECT_EQ(aux.subType, (std::vector<std::uint8_t>{1, 2, 3}));
    const auto crop = file->getPropertyClap(ctx, clap - 1);
    EXPECT_EQ(crop.width.numerator, 451u);
    EXPECT_EQ(crop.height.numerator, 461u);
    EXPECT_EQ(crop.horizontalOffset.numerator, 0xFFFFFFFFu);
    EXPECT_EQ(crop.horizontalOffset.denominator, 2u);
    EXPECT_EQ(file->getPropertyRloc(ctx, rloc - 1).verticalOffset, 6u);
    EXPECT_EQ(file->getPropertyLsel(ctx, lsel - 1).layerId, 7u);
    EXPECT_EQ(file->getPropertyTols(ctx, tols - 1).targetOlsIndex, 8u);
    EXPECT_READER_ERROR(file->getPropertyClap(ctx, auxc - 1), Reader::InvalidPropertyIndex);
    EXPECT_TRUE(file->getItemProperties(ctx, 5).empty());  // an item of iinf without associations
}

TEST(MetaContext, NoPrimaryItemMeansNoCover)
{
    HeifBuilder heif;
    heif.writePrimary = false;
    heif.addItem(1, "hvc1", kTile);
    heif.addItem(2, "hvc1", kTile);
    heif.addReference("thmb", 2, {1});
    auto file = openBytes(heif.build());
    EXPECT_READER_ERROR(file->getCoverImageItemId(file.meta()), Reader::InvalidContextId);
    EXPECT_FALSE(file->getFileInformation().features.count(Reader::FileFeature::HasCoverImage));

    // One image item alone, a thumbnail, still makes a single image of the meta box.
    HeifBuilder thumbnailOnly;
    thumbnailOnly.addItem(2, "hvc1", kTile);
    thumbnailOnly.addReference("thmb", 2, {1});
    auto single = openBytes(thumbnailOnly.build());
    const auto& info = single->getFileInformation();
    EXPECT_TRUE(info.rootMetaBoxInformation.features.count(Reader::MetaBoxFeature::IsSingleImage));
    EXPECT_FALSE(info.features.count(Reader::FileFeature::IsSingleImage));  // no master image
}

TEST(MetaContext, EntityGroups)
{
    HeifBuilder heif = gridImage();
    // grpl is not written by the builder: append it to the meta box by hand.
    Bytes meta = heif.makeMeta(0);
    const Bytes grpl = makeBox("grpl", makeFullBox("altr", 0, 0, ByteBuilder().u32(77).u32(2).u32(10).u32(1)));
    Bytes children(meta.begin() + 12, meta.end());
    const Bytes withGroups = concat({heif.makeFtyp(), makeFullBox("meta", 0, 0, concat({children, grpl}))});
    auto file = openBytes(withGroups);
    const auto& groups = file->getFileInformation().rootMetaBoxInformation.entityGroupings;
    ASSERT_EQ(groups.count(FourCCInt("altr")), 1u);
    EXPECT_EQ(groups.at(FourCCInt("altr")).at(0).groupId, 77u);
    EXPECT_EQ(groups.at(FourCCInt("altr")).at(0).entityIds, (std::vector<std::uint32_t>{10, 1}));
    EXPECT_TRUE(
        file->getFileInformation().rootMetaBoxInformation.features.count(Reader::MetaBoxFeature::HasGroupLists));
}

TEST(MetaContext, ColourPropertiesOfAnItem)
{
    HeifBuilder heif = gridImage();
    const auto nclx = heif.addProperty(makeBox("colr", ByteBuilder().str("nclx").u16(1).u16(13).u16(6).u8(0x80)));
    const auto pixi = heif.addProperty(makeFullBox("pixi", 0, 0, ByteBuilder().u8(3).u8(8).u8(8).u8(8)));
    const auto damaged = heif.addProperty(makeBox("colr", ByteBuilder().str("nclx").u8(1)));
    const auto profile = heif.addProperty(makeBox("colr", ByteBuilder().str("prof").u32(0xA1B2C3D4)));
    heif.associate(10, pixi);
    heif.associate(10, profile);
    heif.associate(10, damaged);
    heif.associate(10, nclx);
    heif.associate(10, 60);  // names no property
    heif.associate(2, nclx);
    testing::internal::CaptureStdout();
    auto file = openBytes(heif.build());
    testing::internal::GetCapturedStdout();
    const auto ctx = file.meta();

    // In association order; the damaged box and the dangling index are passed over.
    const auto colours = file->getItemColourProperties(ctx, 10);
    ASSERT_EQ(colours.size(), 2u);
    EXPECT_TRUE(colours[0]->hasIccProfile());
    EXPECT_EQ(colours[0]->getPayload(), (Bytes{0xA1, 0xB2, 0xC3, 0xD4}));
    EXPECT_TRUE(colours[1]->isNclx());
    EXPECT_EQ(colours[1]->getColourPrimaries(), 1u);
    EXPECT_EQ(colours[1]->getTransferCharacteristics(), 13u);
    EXPECT_EQ(colours[1]->getMatrixCoefficients(), 6u);
    EXPECT_TRUE(colours[1]->getFullRangeFlag());
    const auto properties = file->getItemProperties(ctx, 10);
    EXPECT_EQ(properties[4].type, Reader::ItemPropertyType::COLR);

    // One box shared by two items; items without colours; ids and contexts that are not there.
    ASSERT_EQ(file->getItemColourProperties(ctx, 2).size(), 1u);
    EXPECT_EQ(file->getItemColourProperties(ctx, 2)[0], colours[1]);
    EXPECT_TRUE(file->getItemColourProperties(ctx, 1).empty());
    EXPECT_READER_ERROR(file->getItemColourProperties(ctx, 99), Reader::InvalidItemId);
    EXPECT_READER_ERROR(file->getItemColourProperties(ctx + 1, 10), Reader::InvalidContextId);
    HevcImageFileReader fresh;
    EXPECT_READER_ERROR(fresh.getItemColourProperties(ctx, 10), Reader::NotInitialized);
}

namespace
{
/// A grid (item 1) over `count` hvc1 tiles with 32-bit ids from 0x10000, written with the
/// container's own writers (which pick the wide forms of iinf, iloc, iref and ipma); each tile
/// holds one slice whose last byte is its number.
Bytes manyTiles(std::uint32_t count)
{
    const auto build = [count](std::uint64_t mdatPayload)
    {
        MetaBox meta;
        meta.setHandlerType("pict");
        meta.setPrimaryItemId(1);
        meta.getItemReferenceBox().setVersion(1);
        meta.addIdatItem(1, "grid", "", {0, 0, 0, std::uint8_t(count - 1), 0x01, 0x00, 0x00, 0x40});
        auto hvcc = std::make_shared<HevcConfigurationBox>();
        hvcc->getConfiguration().setLengthSizeMinus1(3);
        hvcc->getConfiguration().addNalUnit({0x40, 0x01, 0x0C}, 32, 1);
        hvcc->getConfiguration().addNalUnit({0x42, 0x01, 0x01}, 33, 1);
        hvcc->getConfiguration().addNalUnit({0x44, 0x01, 0xC1}, 34, 1);
        std::vector<std::uint32_t> tiles;
        for (std::uint32_t i = 0; i < count; ++i)
        {
            const std::uint32_t id = 0x10000 + i;
            tiles.push_back(id);
            meta.addItem(id, "hvc1", "", true);
            meta.addIloc(id, 0, 8, mdatPayload + 8ull * i);
            meta.addItemReference(FourCCInt("dimg"), 1, id);
        }
        meta.addProperty(hvcc, tiles, true);
        meta.addProperty(std::make_shared<ImageSpatialExtentsProperty>(64, 64), tiles, false);
        BitStream out;
        FileTypeBox ftyp;
        ftyp.setMajorBrand("heic");
        ftyp.addCompatibleBrand("mif1");
        ftyp.addCompatibleBrand("heic");
        ftyp.writeBox(out);
        meta.writeBox(out);
        return out.getStorage();
    };
    Bytes file = build(build(0).size() + 8);
    ByteBuilder mdat;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        mdat.u32(4).u8(0x26).u8(0x01).u8(0xAF).u8(std::uint8_t(i));
    }
    return concat({file, makeBox("mdat", mdat)});
}
}  // namespace

// Look-ups by item id scanned every location and reference, so opening and reading a grid of
// many tiles grew with the square of their number. Now indexed once; this checks the answers on
// a grid of 3000 tiles with 32-bit ids.
TEST(MetaContext, ManyTilesWithWideIds)
{
    const std::uint32_t count = 3000;
    auto file = openBytes(manyTiles(count));
    const auto ctx = file.meta();
    const auto grid = file->getItemGrid(ctx, 1);
    ASSERT_EQ(grid.itemIds.size(), count);
    std::vector<std::uint32_t> referencing;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::uint32_t id = 0x10000 + i;
        ASSERT_EQ(grid.itemIds[i], id);
        std::vector<std::uint8_t> data;
        file->getItemDataWithDecoderParameters(ctx, id, data);
        ASSERT_EQ(data.size(), 3 * 7 + 3 + 4u) << id;
        EXPECT_EQ(data.back(), std::uint8_t(i));
        EXPECT_EQ(file->getItemType(ctx, id), "master");
        EXPECT_EQ(file->getWidth(ctx, id), 64u);
        file->getReferencedToItemListByType(ctx, id, "dimg", referencing);
        EXPECT_EQ(referencing, std::vector<std::uint32_t>{1});
    }
    const auto& features = file->getFileInformation().rootMetaBoxInformation.imageFeaturesMap;
    EXPECT_EQ(features.size(), count + 1);
    EXPECT_TRUE(features.at(0x10000 + count - 1).count(Reader::ImageFeature::HasLinkedDerivedImage));
    EXPECT_READER_ERROR(file->getItemType(ctx, 0x10000 + count), Reader::InvalidItemId);
}
