#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BitStream.h"

// The extension that follows a version 1 'infe' entry. Entries are copied freely, so an
// extension can clone itself and every copy owns its own.
class ItemInfoExtension
{
public:
    virtual ~ItemInfoExtension() = default;
    virtual void write(BitStream& bitstr) const = 0;
    virtual void parse(BitStream& bitstr) = 0;
    virtual std::unique_ptr<ItemInfoExtension> clone() const = 0;
};

// File-delivery information of an item ('fdel').
class FDItemInfoExtension : public ItemInfoExtension
{
public:
    static constexpr std::size_t kMaxGroupIds = 256;

    FDItemInfoExtension();
    ~FDItemInfoExtension() override = default;

    const std::string& getContentLocation() const { return mContentLocation; }
    void setContentLocation(const std::string& location) { mContentLocation = location; }
    const std::string& getContentMD5() const { return mContentMD5; }
    void setContentMD5(const std::string& md5) { mContentMD5 = md5; }
    std::uint64_t getContentLength() const { return mContentLength; }
    void setContentLength(std::uint64_t length) { mContentLength = length; }
    std::uint64_t getTransferLength() const { return mTransferLength; }
    void setTransferLength(std::uint64_t length) { mTransferLength = length; }
    std::uint8_t getEntryCount() const { return mEntryCount; }
    void setEntryCount(std::uint8_t count) { mEntryCount = count; }
    /// Index below 256, else std::out_of_range "vector"; the first entry-count ids are used.
    std::uint32_t getGroupID(std::size_t index) const;
    void setGroupID(std::size_t index, std::uint32_t id);

    void write(BitStream& bitstr) const override;
    void parse(BitStream& bitstr) override;
    std::unique_ptr<ItemInfoExtension> clone() const override;

private:
    std::string mContentLocation;
    std::string mContentMD5;
    std::uint64_t mContentLength = 0;
    std::uint64_t mTransferLength = 0;
    std::uint8_t mEntryCount = 0;
    std::vector<std::uint32_t> mGroupIds;
};
