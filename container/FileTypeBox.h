#pragma once

#include <string>
#include <vector>

#include "Box.h"

// 'ftyp': the brands by which a reader decides whether it can read a file.
class FileTypeBox : public Box
{
public:
    FileTypeBox();
    ~FileTypeBox() override = default;

    void setMajorBrand(const std::string& majorBrand) { mMajorBrand = majorBrand; }
    const std::string& getMajorBrand() const { return mMajorBrand; }
    void setMinorVersion(std::uint32_t minorVersion) { mMinorVersion = minorVersion; }
    std::uint32_t getMinorVersion() const { return mMinorVersion; }
    void addCompatibleBrand(const std::string& brand) { mCompatibleBrands.push_back(brand); }
    std::vector<std::string> getCompatibleBrands() const { return mCompatibleBrands; }
    bool checkCompatibleBrand(const std::string& brand) const;

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::string mMajorBrand;
    std::uint32_t mMinorVersion = 0;
    std::vector<std::string> mCompatibleBrands;
};
