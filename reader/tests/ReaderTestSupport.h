#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "BoxBuilder.h"
#include "HevcImageFileReader.h"

namespace readertest
{
/// A reader over an in-memory copy of the bytes; the stream lives as long as the reader.
struct OpenedFile
{
    std::unique_ptr<std::istringstream> stream;
    std::unique_ptr<HevcImageFileReader> reader;

    HevcImageFileReader* operator->() const { return reader.get(); }
    ImageFileReaderInterface::ContextId meta() const
    {
        return reader->getFileInformation().rootMetaBoxInformation.contextId;
    }
};

inline std::string toString(const testsupport::Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

/// Initialises a reader over the bytes; exceptions of initialize() pass on, the reader stays usable.
inline OpenedFile openBytes(const testsupport::Bytes& bytes)
{
    OpenedFile file;
    file.stream = std::make_unique<std::istringstream>(toString(bytes));
    file.reader = std::make_unique<HevcImageFileReader>();
    file.reader->initialize(file.stream.get());
    return file;
}

/// As openBytes, but keeps the reader when initialize() throws and reports the code (-1: none).
inline int tryOpen(const testsupport::Bytes& bytes, OpenedFile& file)
{
    file.stream = std::make_unique<std::istringstream>(toString(bytes));
    file.reader = std::make_unique<HevcImageFileReader>();
    try
    {
        file.reader->initialize(file.stream.get());
    }
    catch (const ImageFileReaderInterface::FileReaderException& e)
    {
        return e.getStatusCode();
    }
    return -1;
}

inline testsupport::Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return testsupport::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Overwrites the big-endian 32-bit field at the offset (for patching shipped files).
inline void setU32(testsupport::Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
    {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

inline std::string dataPath(const std::string& name)
{
    return std::string(PRAVIX_SOURCE_DIR) + "/reader/tests/data/" + name;
}

/// Expects the call to throw the reader's exception with that code.
#define EXPECT_READER_ERROR(statement, code)                                                                           \
    do                                                                                                                 \
    {                                                                                                                  \
        try                                                                                                            \
        {                                                                                                              \
            statement;                                                                                                 \
            ADD_FAILURE() << "no exception from " #statement;                                                          \
        }                                                                                                              \
        catch (const ImageFileReaderInterface::FileReaderException& e)                                                 \
        {                                                                                                              \
            EXPECT_EQ(e.getStatusCode(), (code)) << #statement << ": " << e.what();                                    \
        }                                                                                                              \
    } while (0)
}  // namespace readertest
