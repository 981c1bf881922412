#include "MemoryFile.h"
#include "StreamAccess.h"

#include <gtest/gtest.h>

#include <vector>

using namespace pravix;

// Bytes appended in pieces read back as one file from its start, by position, like a file on disk; the
// memory file hands its file over once.
TEST(MemoryFileTest, PiecesReadBackAsOneFile)
{
    std::optional<MemoryFile> file = MemoryFile::create();
    ASSERT_TRUE(file);
    std::vector<uint8_t> expected;
    for (int piece = 0; piece < 5; ++piece)
    {
        const std::vector<uint8_t> bytes(10000 + piece, static_cast<uint8_t>(piece + 1));
        ASSERT_TRUE(file->append(bytes.data(), bytes.size()));
        expected.insert(expected.end(), bytes.begin(), bytes.end());
    }
    EXPECT_EQ(file->size(), expected.size());
    std::unique_ptr<FileReadBuffer> reader = file->reader();
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->size(), expected.size());
    EXPECT_EQ(stream::size(*reader), expected.size());
    std::vector<uint8_t> back(expected.size() + 10);
    ASSERT_TRUE(stream::seek(*reader, 0));
    EXPECT_EQ(stream::read(*reader, back.data(), back.size()), expected.size());
    back.resize(expected.size());
    EXPECT_EQ(back, expected);
    // Handed over: nothing more is kept in it.
    EXPECT_EQ(file->size(), 0u);
    EXPECT_FALSE(file->append("x", 1));
    EXPECT_FALSE(file->reader());
}
