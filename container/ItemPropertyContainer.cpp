#include "ItemPropertyContainer.h"

#include <exception>

#include "AuxiliaryTypeProperty.h"
#include "AvcConfigurationBox.h"
#include "CleanAperture.h"
#include "ColourInformationBox.h"
#include "HevcConfigurationBox.h"
#include "ImageMirror.h"
#include "ImageRelativeLocationProperty.h"
#include "ImageRotation.h"
#include "ImageSpatialExtentsProperty.h"
#include "LayerSelectorProperty.h"
#include "LayeredHevcConfigurationItemProperty.h"
#include "LogStream.h"
#include "OperatingPointsInformation.h"
#include "TargetOlsProperty.h"
#include "UnknownProperty.h"

namespace
{
constexpr std::uint32_t code(const char (&text)[5])
{
    return (std::uint32_t(std::uint8_t(text[0])) << 24) | (std::uint32_t(std::uint8_t(text[1])) << 16) |
           (std::uint32_t(std::uint8_t(text[2])) << 8) | std::uint32_t(std::uint8_t(text[3]));
}

std::shared_ptr<Box> makeProperty(FourCCInt type)
{
    switch (type.getUInt32())
    {
    case code("auxC"):
        return std::make_shared<AuxiliaryTypeProperty>();
    case code("avcC"):
        return std::make_shared<AvcConfigurationBox>();
    case code("clap"):
        return std::make_shared<CleanAperture>();
    case code("colr"):
        return std::make_shared<ColourInformationBox>();
    case code("hvcC"):
        return std::make_shared<HevcConfigurationBox>();
    case code("imir"):
        return std::make_shared<ImageMirror>();
    case code("irot"):
        return std::make_shared<ImageRotation>();
    case code("ispe"):
        return std::make_shared<ImageSpatialExtentsProperty>();
    case code("lhvC"):
        return std::make_shared<LayeredHevcConfigurationItemProperty>();
    case code("lsel"):
        return std::make_shared<LayerSelectorProperty>();
    case code("oinf"):
        return std::make_shared<OperatingPointsInformation>();
    case code("rloc"):
        return std::make_shared<ImageRelativeLocationProperty>();
    case code("tols"):
        return std::make_shared<TargetOlsProperty>();
    default:
        logWarning() << "Skipping an unknown box of type '" << type << "' in ItemPropertyContainer." << std::endl;
        return std::make_shared<UnknownProperty>(type);
    }
}
}  // namespace

ItemPropertyContainer::ItemPropertyContainer() : Box(FourCCInt("ipco")) {}

std::shared_ptr<Box> ItemPropertyContainer::getProperty(std::uint32_t index) const
{
    return index < mProperties.size() ? mProperties[index] : nullptr;
}

std::int64_t ItemPropertyContainer::findSameProperty(const std::shared_ptr<Box>& property) const
{
    const auto* extents = dynamic_cast<const ImageSpatialExtentsProperty*>(property.get());
    if (extents == nullptr)
    {
        return -1;
    }
    for (std::size_t i = 0; i < mProperties.size(); ++i)
    {
        const auto* held = dynamic_cast<const ImageSpatialExtentsProperty*>(mProperties[i].get());
        if (held != nullptr && held->getDisplayWidth() == extents->getDisplayWidth() &&
            held->getDisplayHeight() == extents->getDisplayHeight())
        {
            return std::int64_t(i);
        }
    }
    return -1;
}

std::uint32_t ItemPropertyContainer::addProperty(std::shared_ptr<Box> property)
{
    const std::int64_t same = findSameProperty(property);
    if (same >= 0)
    {
        return std::uint32_t(same);
    }
    mProperties.push_back(std::move(property));
    return std::uint32_t(mProperties.size() - 1);
}

void ItemPropertyContainer::writeBox(BitStream& bitstr)
{
    writeBoxHeader(bitstr);
    for (const auto& property : mProperties)
    {
        property->writeBox(bitstr);
    }
    updateSize(bitstr);
}

void ItemPropertyContainer::parseBox(BitStream& bitstr)
{
    parseBoxHeader(bitstr);
    if (getType() != FourCCInt("ipco"))
    {
        logError() << "Reading ipco, found '" << getType() << "' instead." << std::endl;
    }
    while (bitstr.numBytesLeft() > 0)
    {
        FourCCInt type;
        BitStream child = bitstr.readChildBox(type);
        std::shared_ptr<Box> property = makeProperty(type);
        if (type == FourCCInt("colr"))
        {
            // Colour information only describes the picture: a damaged one must not make the
            // whole meta box unreadable. It is kept as bytes, like a property of unknown type.
            try
            {
                property->parseBox(child);
            }
            catch (const std::exception&)
            {
                logWarning() << "Keeping a damaged 'colr' property in ItemPropertyContainer as bytes." << std::endl;
                child.reset();
                property = std::make_shared<UnknownProperty>(type);
                property->parseBox(child);
            }
        }
        else
        {
            property->parseBox(child);
        }
        mProperties.push_back(std::move(property));
    }
}
