#include "FileTypeBox.h"

#include <algorithm>

FileTypeBox::FileTypeBox() : Box(FourCCInt("ftyp")) {}

bool FileTypeBox::checkCompatibleBrand(const std::string& brand) const
{
    return std::find(mCompatibleBrands.begin(), mCompatibleBrands.end(), brand) != mCompatibleBrands.end();
}

void FileTypeBox::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    bitstr.writeString(mMajorBrand);
    bitstr.writeU32(mMinorVersion);
    for (const auto& brand : mCompatibleBrands)
    {
        bitstr.writeString(brand);
    }
    updateSize(bitstr);
}

void FileTypeBox::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    bitstr.readString(mMajorBrand, 4);
    mMinorVersion = bitstr.readU32();
    mCompatibleBrands.clear();
    // A trailing 1 to 3 bytes do not make a brand and stay unread.
    while (bitstr.numBytesLeft() > 3)
    {
        std::string brand;
        bitstr.readString(brand, 4);
        mCompatibleBrands.push_back(brand);
    }
}
