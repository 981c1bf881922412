#include <gtest/gtest.h>

#include <stdexcept>

#include "AuxiliaryTypeProperty.h"
#include "BoxBuilder.h"
#include "CleanAperture.h"
#include "CodingConstraintsBox.h"
#include "ImageMirror.h"
#include "ImageRelativeLocationProperty.h"
#include "ImageRotation.h"
#include "ImageSpatialExtentsProperty.h"
#include "LayerSelectorProperty.h"
#include "TargetOlsProperty.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::makeBox;
using testsupport::makeFullBox;

TEST(ItemPropertyBoxes, FixedSizePropertiesRoundTrip)
{
    const Bytes ispe = makeFullBox("ispe", 0, 0, ByteBuilder().u32(4032).u32(3024));
    ImageSpatialExtentsProperty extents;
    testsupport::parseBytes(extents, ispe);
    EXPECT_EQ(extents.getDisplayWidth(), 4032u);
    EXPECT_EQ(extents.getDisplayHeight(), 3024u);
    testsupport::expectRoundTrip<ImageSpatialExtentsProperty>(ispe);
    ImageSpatialExtentsProperty built(4032, 3024);
    EXPECT_EQ(testsupport::writeBytes(built), ispe);

    const Bytes lsel = makeBox("lsel", ByteBuilder().u16(0x0102));
    LayerSelectorProperty selector;
    testsupport::parseBytes(selector, lsel);
    EXPECT_EQ(selector.getLayerId(), 0x0102);
    testsupport::expectRoundTrip<LayerSelectorProperty>(lsel);

    const Bytes tols = makeFullBox("tols", 0, 0, ByteBuilder().u16(3));
    TargetOlsProperty target;
    testsupport::parseBytes(target, tols);
    EXPECT_EQ(target.getTargetOlsIndex(), 3);
    EXPECT_EQ(testsupport::writeBytes(target), tols);

    const Bytes rloc = makeFullBox("rloc", 0, 0, ByteBuilder().u32(512).u32(1024));
    ImageRelativeLocationProperty location;
    testsupport::parseBytes(location, rloc);
    EXPECT_EQ(location.getHorizontalOffset(), 512u);
    EXPECT_EQ(location.getVerticalOffset(), 1024u);
    testsupport::expectRoundTrip<ImageRelativeLocationProperty>(rloc);

    testsupport::expectTruncationSafe<ImageSpatialExtentsProperty>(ispe);
    testsupport::expectTruncationSafe<ImageRelativeLocationProperty>(rloc);
}

TEST(ItemPropertyBoxes, RotationKeptInDegrees)
{
    ImageRotation rotation;
    testsupport::parseBytes(rotation, makeBox("irot", Bytes{0xFF}));
    EXPECT_EQ(rotation.getAngle(), 270u);
    // Reserved bits are written as zeros whatever the file held.
    EXPECT_EQ(testsupport::writeBytes(rotation), makeBox("irot", Bytes{0x03}));

    rotation.setAngle(180);
    EXPECT_EQ(testsupport::writeBytes(rotation), makeBox("irot", Bytes{0x02}));
    rotation.setAngle(450);
    EXPECT_EQ(rotation.getAngle(), 90u);
    // An angle the two bits cannot hold is refused instead of being written as another one.
    EXPECT_THROW(rotation.setAngle(45), std::runtime_error);
    EXPECT_EQ(rotation.getAngle(), 90u);

    EXPECT_THROW(testsupport::parseBytes(rotation, makeBox("irot", {})), std::out_of_range);
}

TEST(ItemPropertyBoxes, MirrorDefaultsToAxisOne)
{
    ImageMirror mirror;
    EXPECT_EQ(testsupport::writeBytes(mirror), makeBox("imir", Bytes{0x01}));
    testsupport::parseBytes(mirror, makeBox("imir", Bytes{0xFE}));
    EXPECT_FALSE(mirror.getHorizontalAxis());
    EXPECT_EQ(testsupport::writeBytes(mirror), makeBox("imir", Bytes{0x00}));
}

TEST(ItemPropertyBoxes, CleanApertureFractions)
{
    CleanAperture empty;
    EXPECT_EQ(testsupport::writeBytes(empty),
              makeBox("clap", ByteBuilder().u32(0).u32(1).u32(0).u32(1).u32(0).u32(1).u32(0).u32(1)));

    const Bytes clap =
        makeBox("clap", ByteBuilder().u32(100).u32(1).u32(75).u32(1).u32(0xFFFFFFFF).u32(2).u32(3).u32(4));
    CleanAperture aperture;
    testsupport::parseBytes(aperture, clap);
    EXPECT_EQ(aperture.getWidth(), (CleanAperture::Fraction{100, 1}));
    EXPECT_EQ(aperture.getHeight(), (CleanAperture::Fraction{75, 1}));
    EXPECT_EQ(aperture.getHorizOffset(), (CleanAperture::Fraction{0xFFFFFFFF, 2}));
    EXPECT_EQ(aperture.getVertOffset(), (CleanAperture::Fraction{3, 4}));
    testsupport::expectRoundTrip<CleanAperture>(clap);
    testsupport::expectTruncationSafe<CleanAperture>(clap);
}

TEST(ItemPropertyBoxes, AuxiliaryTypeKeepsTrailingBytesAsSubtype)
{
    const Bytes auxC = makeFullBox("auxC", 0, 0, ByteBuilder().zstr("urn:mpeg:hevc:2015:auxid:1").u8(1).u8(2).u8(3));
    AuxiliaryTypeProperty aux;
    testsupport::parseBytes(aux, auxC);
    EXPECT_EQ(aux.getAuxType(), "urn:mpeg:hevc:2015:auxid:1");
    EXPECT_EQ(aux.getAuxSubType(), (Bytes{1, 2, 3}));
    testsupport::expectRoundTrip<AuxiliaryTypeProperty>(auxC);

    AuxiliaryTypeProperty unterminated;
    EXPECT_THROW(testsupport::parseBytes(unterminated, makeFullBox("auxC", 0, 0, ByteBuilder().str("urn"))),
                 std::out_of_range);
}

TEST(ItemPropertyBoxes, CodingConstraintsClampAndLayout)
{
    CodingConstraintsBox ccst;
    ccst.setMaxRefPerPic(20);
    EXPECT_EQ(ccst.getMaxRefPerPic(), 15);
    ccst.setMaxRefPerPic(0x113);
    EXPECT_EQ(ccst.getMaxRefPerPic(), 15);
    ccst.setMaxRefPerPic(7);
    EXPECT_EQ(ccst.getMaxRefPerPic(), 7);
    ccst.setAllRefPicsIntra(true);
    EXPECT_EQ(testsupport::writeBytes(ccst), makeFullBox("ccst", 0, 0, ByteBuilder().u32(0x9C000000)));

    CodingConstraintsBox parsed;
    testsupport::parseBytes(parsed, makeFullBox("ccst", 0, 0, ByteBuilder().u32(0x7FFFFFFF)));
    EXPECT_FALSE(parsed.getAllRefPicsIntra());
    EXPECT_TRUE(parsed.getIntraPredUsed());
    EXPECT_EQ(parsed.getMaxRefPerPic(), 15);
    EXPECT_EQ(testsupport::writeBytes(parsed), makeFullBox("ccst", 0, 0, ByteBuilder().u32(0x7C000000)));
}
