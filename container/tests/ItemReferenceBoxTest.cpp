#include <gtest/gtest.h>

#include <stdexcept>

#include "BoxBuilder.h"
#include "DataEntryUrlBox.h"
#include "DataEntryUrnBox.h"
#include "DataInformationBox.h"
#include "ExpectRuntimeError.h"
#include "GroupsListBox.h"
#include "ItemProtectionBox.h"
#include "ItemReferenceBox.h"

using testsupport::ByteBuilder;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::expectRuntimeError;
using testsupport::makeBox;
using testsupport::makeFullBox;

namespace
{
const Bytes kIrefV0 = makeFullBox("iref", 0, 0,
                                  concat({makeBox("dimg", ByteBuilder().u16(1).u16(3).u16(2).u16(3).u16(4)),
                                          makeBox("thmb", ByteBuilder().u16(5).u16(1).u16(1))}));
const Bytes kIrefV1 = makeFullBox("iref", 1, 0, makeBox("cdsc", ByteBuilder().u32(70000).u16(2).u32(1).u32(80000)));

const Bytes kGrpl = makeBox("grpl", concat({makeFullBox("altr", 0, 0, ByteBuilder().u32(10).u32(2).u32(1).u32(2)),
                                            makeFullBox("ster", 0, 0, ByteBuilder().u32(11).u32(0))}));

const Bytes kDinf =
    makeBox("dinf", makeFullBox("dref", 0, 0,
                                concat({ByteBuilder().u32(3), makeFullBox("url ", 0, 1, {}),
                                        makeFullBox("url ", 0, 0, ByteBuilder().zstr("http://a/b")),
                                        makeFullBox("urn ", 0, 0, ByteBuilder().zstr("urn:x").zstr("there"))})));

const Bytes kSinf = makeBox("sinf", makeBox("frma", ByteBuilder().str("hvc1")));
const Bytes kIpro = makeFullBox("ipro", 0, 0, concat({ByteBuilder().u16(2), kSinf, makeBox("sinf", {})}));
}  // namespace

TEST(ItemReferenceBox, ParsesBothWidthsInOrder)
{
    ItemReferenceBox v0;
    testsupport::parseBytes(v0, kIrefV0);
    ASSERT_EQ(v0.getReferences().size(), 2u);
    EXPECT_EQ(v0.getReferences()[0].getType(), FourCCInt("dimg"));
    EXPECT_EQ(v0.getReferences()[1].getType(), FourCCInt("thmb"));
    const auto dimg = v0.getReferencesOfType("dimg");
    ASSERT_EQ(dimg.size(), 1u);
    EXPECT_EQ(dimg[0].getFromItemID(), 1u);
    EXPECT_EQ(dimg[0].getToItemIds(), (std::vector<std::uint32_t>{2, 3, 4}));
    EXPECT_TRUE(v0.getReferencesOfType("auxl").empty());

    ItemReferenceBox v1;
    testsupport::parseBytes(v1, kIrefV1);
    EXPECT_EQ(v1.getReferences()[0].getFromItemID(), 70000u);
    EXPECT_EQ(v1.getReferences()[0].getToItemIds(), (std::vector<std::uint32_t>{1, 80000}));

    testsupport::expectRoundTrip<ItemReferenceBox>(kIrefV0);
    testsupport::expectRoundTrip<ItemReferenceBox>(kIrefV1);
    testsupport::expectTruncationSafe<ItemReferenceBox>(kIrefV0);
    testsupport::expectTruncationSafe<ItemReferenceBox>(kIrefV1);
}

TEST(ItemReferenceBox, AddGroupsByTypeAndSource)
{
    ItemReferenceBox box;
    EXPECT_EQ(testsupport::writeBytes(box), Bytes{});
    box.add("cdsc", 7, 1);
    box.add("cdsc", 7, 1);
    box.add("thmb", 7, 2);
    ASSERT_EQ(box.getReferences().size(), 2u);
    EXPECT_EQ(box.getReferences()[0].getToItemIds(), (std::vector<std::uint32_t>{1, 1}));

    expectRuntimeError([&] { box.add("cdsc", 70000, 1); },
                       "ItemReferenceBox::add can not add large item IDs to box version 0");
    EXPECT_THROW(box.add("cdsc", 7, 0x10000), std::runtime_error);
    EXPECT_EQ(box.getReferences()[0].getToItemIds().size(), 2u);

    ItemReferenceBox large;
    large.setVersion(1);
    large.add("cdsc", 70000, 1);
    ItemReferenceBox back;
    testsupport::parseBytes(back, testsupport::writeBytes(large));
    EXPECT_EQ(back.getReferences()[0].getFromItemID(), 70000u);
}

TEST(ItemReferenceBox, WriterNeverCutsIds)
{
    // Built as version 1 with a large id, then set to version 0: the id cannot be
    // written.
    ItemReferenceBox box;
    box.setVersion(1);
    box.add("dimg", 1, 0x12345);
    box.setVersion(0);
    EXPECT_THROW(testsupport::writeBytes(box), std::runtime_error);

    SingleItemTypeReferenceBox many;
    many.setReferenceType("dimg");
    for (std::uint32_t i = 0; i < 0x10000; ++i)
    {
        many.addToItemID(1);
    }
    EXPECT_THROW(testsupport::writeBytes(many), std::runtime_error);
}

TEST(ItemReferenceBox, HostileReferenceCountFailsBeforeReading)
{
    ItemReferenceBox box;
    EXPECT_THROW(testsupport::parseBytes(
                     box, makeFullBox("iref", 1, 0, makeBox("dimg", ByteBuilder().u32(1).u16(0xFFFF).u32(2)))),
                 std::out_of_range);
    EXPECT_TRUE(box.getReferences().empty());
}

TEST(GroupsListBox, GroupsOfAnyType)
{
    GroupsListBox box;
    testsupport::parseBytes(box, kGrpl);
    const auto& groups = box.getEntityToGroupBoxes();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].getType(), FourCCInt("altr"));
    EXPECT_EQ(groups[0].getGroupId(), 10u);
    EXPECT_EQ(groups[0].getEntityIds(), (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(groups[1].getType(), FourCCInt("ster"));
    EXPECT_TRUE(groups[1].getEntityIds().empty());
    testsupport::expectRoundTrip<GroupsListBox>(kGrpl);
    testsupport::expectTruncationSafe<GroupsListBox>(kGrpl);

    GroupsListBox empty;
    EXPECT_EQ(testsupport::writeBytes(empty), Bytes{});
    EntityToGroupBox a;
    EntityToGroupBox b;
    EXPECT_NE(a.getGroupId(), b.getGroupId());  // fresh ids for new groups
    a.setEntityIds({3});
    empty.addEntityToGroupBox(a);
    EXPECT_EQ(empty.getEntityToGroupBoxes()[0].getEntityIds(), (std::vector<std::uint32_t>{3}));

    // 2^32 - 1 entities in a few bytes: refused before anything is sized.
    GroupsListBox hostile;
    EXPECT_THROW(testsupport::parseBytes(
                     hostile, makeBox("grpl", makeFullBox("altr", 0, 0, ByteBuilder().u32(1).u32(0xFFFFFFFF).u32(1)))),
                 std::out_of_range);
}

TEST(DataInformationBox, UrlAndUrnEntries)
{
    DataInformationBox box;
    testsupport::parseBytes(box, kDinf);
    const auto& entries = box.getDataReferenceBox().getEntries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]->getType(), FourCCInt("url "));
    EXPECT_EQ(entries[0]->getLocation(), "");
    EXPECT_EQ(entries[1]->getLocation(), "http://a/b");
    const auto* urn = dynamic_cast<const DataEntryUrnBox*>(entries[2].get());
    ASSERT_NE(urn, nullptr);
    EXPECT_EQ(urn->getName(), "urn:x");
    EXPECT_EQ(urn->getLocation(), "there");
    testsupport::expectRoundTrip<DataInformationBox>(kDinf);
    testsupport::expectTruncationSafe<DataInformationBox>(kDinf);

    DataInformationBox built;
    auto self = std::make_shared<DataEntryUrlBox>();
    self->setFlags(DataEntryUrlBox::kSelfContained);
    EXPECT_EQ(built.addDataEntryBox(self), 1u);
    EXPECT_EQ(
        testsupport::writeBytes(built),
        makeBox("dinf", makeFullBox("dref", 0, 0, concat({ByteBuilder().u32(1), makeFullBox("url ", 0, 1, {})}))));
}

TEST(DataInformationBox, EmptyBoxIsReportedUnknownEntryFails)
{
    testing::internal::CaptureStderr();
    DataInformationBox empty;
    testsupport::parseBytes(empty, makeBox("dinf", {}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Read an empty dinf box.\n");
    EXPECT_TRUE(empty.getDataReferenceBox().getEntries().empty());

    DataReferenceBox dref;
    expectRuntimeError(
        [&]
        {
            testsupport::parseBytes(dref, makeFullBox("dref", 0, 0,
                                                      concat({ByteBuilder().u32(2), makeFullBox("url ", 0, 1, {}),
                                                              makeFullBox("abcd", 0, 0, {})})));
        },
        "An unknown box inside dref");
    EXPECT_EQ(dref.getEntries().size(), 1u);

    // The first child is taken as 'dref' whatever its type; later ones are
    // ignored.
    DataInformationBox odd;
    testsupport::parseBytes(
        odd, makeBox("dinf", concat({makeFullBox("xref", 0, 0, ByteBuilder().u32(0)), makeBox("junk", Bytes{1, 2})})));
    EXPECT_TRUE(odd.getDataReferenceBox().getEntries().empty());

    DataReferenceBox hostile;
    EXPECT_THROW(testsupport::parseBytes(hostile, makeFullBox("dref", 0, 0, ByteBuilder().u32(0xFFFFFFFF))),
                 std::out_of_range);
}

TEST(ItemProtectionBox, KeepsSchemesAsBytes)
{
    ItemProtectionBox box;
    testsupport::parseBytes(box, kIpro);
    ASSERT_EQ(box.getCount(), 2u);
    EXPECT_EQ(box.getProtectionSchemeInfoBox(0).mData, kSinf);
    EXPECT_THROW(box.getProtectionSchemeInfoBox(2), std::out_of_range);
    testsupport::expectRoundTrip<ItemProtectionBox>(kIpro);
    testsupport::expectTruncationSafe<ItemProtectionBox>(kIpro);

    ItemProtectionBox none;
    testsupport::parseBytes(none, makeFullBox("ipro", 0, 0, ByteBuilder().u16(0)));
    EXPECT_EQ(testsupport::writeBytes(none), Bytes{});
    EXPECT_EQ(none.addProtectionSchemeInfoBox({kSinf}), 0u);
    EXPECT_EQ(none.addProtectionSchemeInfoBox({kSinf}), 1u);
}
