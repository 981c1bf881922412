// Meta contexts: item classification, item tables, properties, grids and overlays.

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "AuxiliaryTypeProperty.h"
#include "BitStream.h"
#include "CleanAperture.h"
#include "ColourInformationBox.h"
#include "HevcImageFileReader.h"
#include "ImageGrid.h"
#include "ImageMirror.h"
#include "ImageOverlay.h"
#include "ImageRelativeLocationProperty.h"
#include "ImageRotation.h"
#include "ImageSpatialExtentsProperty.h"
#include "LayerSelectorProperty.h"
#include "LogStream.h"
#include "MetaBox.h"
#include "ReaderUtils.h"
#include "TargetOlsProperty.h"

using namespace readerutils;

namespace
{
bool isCodedImageType(const std::string& type)
{
    return type == "avc1" || type == "hvc1" || type == "lhv1";
}

bool isImageType(const std::string& type)
{
    return isCodedImageType(type) || type == "grid" || type == "iovl" || type == "iden";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Classification

HevcImageFileReader::ImageFeaturesMap
HevcImageFileReader::extractImageFeatures(const MetaBox& metaBox, const ItemReferenceIndex& references) const
{
    ImageFeaturesMap features;
    const ItemInfoBox& iinf = metaBox.getItemInfoBox();
    const std::uint32_t primaryItemId = metaBox.getPrimaryItemBox().getItemId();
    for (const std::uint32_t itemId : iinf.getItemIds())
    {
        const ItemInfoEntry& entry = *iinf.findItemById(itemId);
        if (!isImageType(entry.getItemType()))
        {
            continue;
        }
        ImageFeatureSet set;
        if (references.hasFrom(FourCCInt("thmb"), itemId))
        {
            set.insert(ImageFeature::IsThumbnailImage);
        }
        if (references.hasFrom(FourCCInt("auxl"), itemId))
        {
            set.insert(ImageFeature::IsAuxiliaryImage);
        }
        if (references.hasFrom(FourCCInt("dimg"), itemId))
        {
            set.insert(ImageFeature::IsDerivedImage);
        }
        if (references.hasFrom(FourCCInt("base"), itemId))
        {
            set.insert(ImageFeature::IsPreComputedDerivedImage);
        }
        if (itemId == primaryItemId)
        {
            set.insert(ImageFeature::IsPrimaryImage);
            set.insert(ImageFeature::IsCoverImage);
        }
        if (entry.getFlags() & 1)
        {
            set.insert(ImageFeature::IsHiddenImage);
        }
        if (entry.getItemProtectionIndex() != 0)
        {
            set.insert(ImageFeature::IsProtected);
        }
        if (references.hasTo(FourCCInt("thmb"), itemId))
        {
            set.insert(ImageFeature::HasLinkedThumbnails);
        }
        if (references.hasTo(FourCCInt("auxl"), itemId))
        {
            set.insert(ImageFeature::HasLinkedAuxiliaryImage);
        }
        if (references.hasTo(FourCCInt("dimg"), itemId))
        {
            set.insert(ImageFeature::HasLinkedDerivedImage);
        }
        if (references.hasTo(FourCCInt("base"), itemId))
        {
            set.insert(ImageFeature::HasLinkedPreComputedDerivedImage);
        }
        if (references.hasTo(FourCCInt("tbas"), itemId))
        {
            set.insert(ImageFeature::HasLinkedTiles);
        }
        if (references.hasTo(FourCCInt("cdsc"), itemId))
        {
            set.insert(ImageFeature::HasLinkedMetadata);
        }
        if (!set.count(ImageFeature::IsThumbnailImage) && !set.count(ImageFeature::IsAuxiliaryImage))
        {
            set.insert(ImageFeature::IsMasterImage);
        }
        features.emplace_hint(features.end(), itemId, std::move(set));
    }
    return features;
}

HevcImageFileReader::ItemFeaturesMap
HevcImageFileReader::extractItemFeatures(const MetaBox& metaBox, const ItemReferenceIndex& references) const
{
    ItemFeaturesMap features;
    const ItemInfoBox& iinf = metaBox.getItemInfoBox();
    for (const std::uint32_t itemId : iinf.getItemIds())
    {
        const ItemInfoEntry& entry = *iinf.findItemById(itemId);
        const std::string& type = entry.getItemType();
        if (isCodedImageType(type))
        {
            continue;
        }
        ItemFeatureSet set;
        if (type == "hvt1")
        {
            set.insert(ItemFeature::IsTileImageItem);
        }
        if (references.hasFrom(FourCCInt("cdsc"), itemId))
        {
            set.insert(ItemFeature::IsMetadataItem);
        }
        if (type == "Exif")
        {
            set.insert(ItemFeature::IsExifItem);
        }
        if (type == "mime")
        {
            set.insert(ItemFeature::IsMimeItem);
        }
        if (entry.getItemProtectionIndex() != 0)
        {
            set.insert(ItemFeature::IsProtected);
        }
        features.emplace_hint(features.end(), itemId, std::move(set));
    }
    return features;
}

HevcImageFileReader::MetaBoxInformation HevcImageFileReader::extractMetaBoxInformation(const MetaBox& metaBox,
                                                                                       ContextId contextId) const
{
    MetaBoxInformation information;
    information.contextId = contextId;
    const ItemReferenceIndex& references = getReferenceIndex(contextId);
    information.imageFeaturesMap = extractImageFeatures(metaBox, references);
    information.itemFeaturesMap = extractItemFeatures(metaBox, references);
    for (const auto& group : metaBox.getGroupsListBox().getEntityToGroupBoxes())
    {
        EntityGroup entityGroup;
        entityGroup.groupId = group.getGroupId();
        entityGroup.entityIds = group.getEntityIds();
        information.entityGroupings[group.getType()].push_back(entityGroup);
    }

    const std::size_t imageCount = information.imageFeaturesMap.size();
    if (imageCount == 1)
    {
        information.features.insert(MetaBoxFeature::IsSingleImage);
    }
    else if (imageCount > 1)
    {
        information.features.insert(MetaBoxFeature::IsImageCollection);
    }
    const std::pair<ImageFeature, MetaBoxFeature> implied[] = {
        {ImageFeature::IsMasterImage, MetaBoxFeature::HasMasterImages},
        {ImageFeature::IsThumbnailImage, MetaBoxFeature::HasThumbnails},
        {ImageFeature::IsCoverImage, MetaBoxFeature::HasCoverImage},
        {ImageFeature::IsAuxiliaryImage, MetaBoxFeature::HasAuxiliaryImages},
        {ImageFeature::IsDerivedImage, MetaBoxFeature::HasDerivedImages},
        {ImageFeature::IsPreComputedDerivedImage, MetaBoxFeature::HasPreComputedDerivedImages},
        {ImageFeature::IsHiddenImage, MetaBoxFeature::HasHiddenImages}};
    for (const auto& image : information.imageFeaturesMap)
    {
        for (const auto& rule : implied)
        {
            if (image.second.count(rule.first))
            {
                information.features.insert(rule.second);
            }
        }
    }
    if (!information.entityGroupings.empty())
    {
        information.features.insert(MetaBoxFeature::HasGroupLists);
    }
    return information;
}

// ---------------------------------------------------------------------------------------------
// Item tables

HevcImageFileReader::MetaContextInfo HevcImageFileReader::extractItemTables(ContextId contextId) const
{
    MetaContextInfo info;
    const MetaBox& metaBox = getMetaBox(contextId);
    const ItemInfoBox& iinf = metaBox.getItemInfoBox();
    const std::vector<std::uint32_t> itemIds = iinf.getItemIds();

    for (const std::uint32_t itemId : itemIds)
    {
        const std::string& type = iinf.findItemById(itemId)->getItemType();
        if ((type != "grid" && type != "iovl") || isProtected(contextId, itemId))
        {
            continue;
        }

        // Grid and overlay descriptions are item data; the root-box loop goes on from where the
        // stream stood.
        std::vector<std::uint8_t> data;
        std::istream& stream = *mInputStream;
        stream.clear();
        const std::istream::pos_type position = stream.tellg();
        readItem(contextId, itemId, data);
        stream.clear();
        stream.seekg(position);

        BitStream bitstream(std::move(data));
        IdVector tiles;
        getReferencedFromItemListByType(contextId, itemId, "dimg", tiles);
        if (type == "grid")
        {
            const ImageGrid imageGrid = parseImageGrid(bitstream);
            GridItem grid;
            grid.rowsMinusOne = imageGrid.rowsMinusOne;
            grid.columnsMinusOne = imageGrid.columnsMinusOne;
            grid.outputWidth = imageGrid.outputWidth;
            grid.outputHeight = imageGrid.outputHeight;
            grid.itemIds = tiles;
            info.gridItems[itemId] = grid;
        }
        else
        {
            const ImageOverlay imageOverlay = parseImageOverlay(bitstream);
            OverlayItem overlay;
            overlay.canvasFillValue = {imageOverlay.fillRed, imageOverlay.fillGreen, imageOverlay.fillBlue,
                                       imageOverlay.fillAlpha};
            overlay.outputWidth = imageOverlay.outputWidth;
            overlay.outputHeight = imageOverlay.outputHeight;
            overlay.itemIds = tiles;
            for (const auto& offset : imageOverlay.offsets)
            {
                overlay.offsets.emplace_back(offset.first, offset.second);
            }
            info.iovlItems[itemId] = overlay;
        }
    }

    for (const std::uint32_t itemId : itemIds)
    {
        const std::string& type = iinf.findItemById(itemId)->getItemType();
        if (!isImageType(type))
        {
            info.itemInfoMap.emplace_hint(info.itemInfoMap.end(), itemId, type);
        }
    }
    return info;
}

void HevcImageFileReader::setImageTypesAndSizes(ContextId contextId)
{
    const MetaBox& metaBox = getMetaBox(contextId);
    MetaContextInfo& info = mapAt(mMetaContextInfo, contextId);
    const ItemInfoBox& iinf = metaBox.getItemInfoBox();
    const ItemPropertiesBox& iprp = metaBox.getItemPropertiesBox();
    const ItemReferenceIndex& references = getReferenceIndex(contextId);

    for (const auto& image : mStagingFileInformation.rootMetaBoxInformation.imageFeaturesMap)
    {
        const std::uint32_t itemId = image.first;
        const ImageFeatureSet& features = image.second;
        ImageInfo imageInfo;
        imageInfo.type = iinf.findItemById(itemId)->getItemType();
        if (isCodedImageType(imageInfo.type))
        {
            if (!references.hasFrom(FourCCInt("auxl"), itemId) && !references.hasFrom(FourCCInt("thmb"), itemId))
            {
                imageInfo.type = "master";
            }
            else if (features.count(ImageFeature::IsHiddenImage))
            {
                imageInfo.type = "hidden";
            }
            else if (features.count(ImageFeature::IsPreComputedDerivedImage))
            {
                imageInfo.type = "pre-computed";
            }
        }

        const std::uint32_t ispeIndex = iprp.findPropertyIndex(ItemPropertiesBox::PropertyType::ISPE, itemId);
        const auto ispe = ispeIndex == 0 ? nullptr
                                         : std::dynamic_pointer_cast<const ImageSpatialExtentsProperty>(
                                               iprp.getItemPropertyContainer().getProperty(ispeIndex - 1));
        if (ispe)
        {
            imageInfo.width = ispe->getDisplayWidth();
            imageInfo.height = ispe->getDisplayHeight();
        }
        else
        {
            logWarning() << "No ImageSpatialExtentsPropertyIndex found for image item id " << itemId << std::endl;
        }
        info.imageInfoMap.emplace_hint(info.imageInfoMap.end(), itemId, std::move(imageInfo));
    }

    IdVector masters;
    getItemListByType(contextId, "master", masters);
    info.masterImageCount = static_cast<std::uint32_t>(masters.size());
}

// ---------------------------------------------------------------------------------------------
// Queries

void HevcImageFileReader::getItemListByType(ContextId contextId, const std::string& itemType, IdVector& itemIds) const
{
    checkInitialized();
    itemIds.clear();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        getTrackItemListByType(contextId, itemType, itemIds);
        return;
    }
    for (const auto& image : getMetaContextInfo(contextId).imageInfoMap)
    {
        if (image.second.type == itemType)
        {
            itemIds.push_back(image.first);
        }
    }
}

std::string HevcImageFileReader::getItemType(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        return getTrackItemType(contextId, itemId);
    }
    const MetaContextInfo& info = getMetaContextInfo(contextId);
    const auto image = info.imageInfoMap.find(itemId);
    if (image != info.imageInfoMap.end())
    {
        return image->second.type;
    }
    const auto item = info.itemInfoMap.find(itemId);
    if (item != info.itemInfoMap.end())
    {
        return item->second;
    }
    throw FileReaderException(InvalidItemId);
}

void HevcImageFileReader::getReferencedFromItemListByType(ContextId contextId, std::uint32_t fromItemId,
                                                          const std::string& referenceType, IdVector& itemIds) const
{
    checkInitialized();
    requireMeta(contextId);
    const FourCCInt type(referenceType);
    itemIds = getReferenceIndex(contextId).from(type, fromItemId);
}

void HevcImageFileReader::getReferencedToItemListByType(ContextId contextId, std::uint32_t toItemId,
                                                        const std::string& referenceType, IdVector& itemIds) const
{
    checkInitialized();
    requireMeta(contextId);
    const FourCCInt type(referenceType);
    itemIds = getReferenceIndex(contextId).to(type, toItemId);
}

void HevcImageFileReader::setForcedTimedPlayback(ContextId contextId, float forcedFps)
{
    checkInitialized();
    if (getContextType(contextId) != ContextType::Meta)
    {
        logWarning() << "setForcedTimedPlayback call for non-meta context ID" << std::endl;
        return;
    }
    // A rate of 0 (or worse) would divide by zero and give infinite or negative times.
    if (!std::isfinite(forcedFps) || forcedFps <= 0)
    {
        throw FileReaderException(InvalidArgument);
    }
    MetaContextInfo& info = mapAt(mMetaContextInfo, contextId);
    info.isForcedFps = true;
    info.forcedFps = forcedFps;

    const double step = 1000.0 / forcedFps;
    IdVector masters;
    getItemListByType(contextId, "master", masters);
    for (std::size_t i = 0; i < masters.size(); ++i)
    {
        const double time = static_cast<double>(i) * step;
        info.imageInfoMap[masters[i]].displayTime = time;
        IdVector thumbnails;
        getReferencedToItemListByType(contextId, masters[i], "thmb", thumbnails);
        for (const std::uint32_t thumbnail : thumbnails)
        {
            const auto it = info.imageInfoMap.find(thumbnail);
            if (it != info.imageInfoMap.end())
            {
                it->second.displayTime = time;
            }
        }
    }
}

HevcImageFileReader::OverlayItem HevcImageFileReader::getItemIovl(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    requireMeta(contextId);
    if (isProtected(contextId, itemId))
    {
        throw FileReaderException(ProtectedItem);
    }
    return findOrThrow(getMetaContextInfo(contextId).iovlItems, itemId, InvalidItemId);
}

HevcImageFileReader::GridItem HevcImageFileReader::getItemGrid(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    requireMeta(contextId);
    if (isProtected(contextId, itemId))
    {
        throw FileReaderException(ProtectedItem);
    }
    return findOrThrow(getMetaContextInfo(contextId).gridItems, itemId, InvalidItemId);
}

HevcImageFileReader::PropertyTypeVector HevcImageFileReader::getItemProperties(ContextId contextId,
                                                                               std::uint32_t itemId) const
{
    checkInitialized();
    requireMeta(contextId);
    // Every item of iinf has its list, also an empty one; read from ipma when asked.
    const MetaBox& metaBox = getMetaBox(contextId);
    if (metaBox.getItemInfoBox().findItemById(itemId) == nullptr)
    {
        throw FileReaderException(InvalidItemId);
    }
    PropertyTypeVector properties;
    for (const auto& property : metaBox.getItemPropertiesBox().getItemProperties(itemId))
    {
        ItemPropertyInfo info;
        info.type = property.type;
        info.index = property.index;
        info.essential = property.essential;
        properties.push_back(info);
    }
    return properties;
}

std::vector<std::shared_ptr<const ColourInformationBox>>
HevcImageFileReader::getItemColourProperties(ContextId contextId, std::uint32_t itemId) const
{
    checkInitialized();
    requireMeta(contextId);
    const ItemPropertiesBox& iprp = getMetaBox(contextId).getItemPropertiesBox();
    std::vector<std::shared_ptr<const ColourInformationBox>> colours;
    for (const ItemPropertyInfo& property : getItemProperties(contextId, itemId))
    {
        if (property.type != ItemPropertyType::COLR)
        {
            continue;
        }
        if (auto colour = iprp.getPropertyByIndex<const ColourInformationBox>(property.index))
        {
            colours.push_back(std::move(colour));
        }
    }
    return colours;
}

std::shared_ptr<const Box> HevcImageFileReader::getProperty(ContextId contextId, std::uint32_t index) const
{
    checkInitialized();
    requireMeta(contextId);
    return getMetaBox(contextId).getItemPropertiesBox().getItemPropertyContainer().getProperty(index);
}

namespace
{
template <typename Property>
std::shared_ptr<const Property> asProperty(const std::shared_ptr<const Box>& box)
{
    auto property = std::dynamic_pointer_cast<const Property>(box);
    if (!property)
    {
        throw ImageFileReaderInterface::FileReaderException(ImageFileReaderInterface::InvalidPropertyIndex);
    }
    return property;
}

ImageFileReaderInterface::Fraction toFraction(const CleanAperture::Fraction& fraction)
{
    ImageFileReaderInterface::Fraction result;
    result.numerator = fraction.numerator;
    result.denominator = fraction.denominator;
    return result;
}
}  // namespace

ImageFileReaderInterface::ClapProperty readerutils::toClapProperty(const CleanAperture& clap)
{
    ImageFileReaderInterface::ClapProperty result;
    result.width = toFraction(clap.getWidth());
    result.height = toFraction(clap.getHeight());
    result.horizontalOffset = toFraction(clap.getHorizOffset());
    result.verticalOffset = toFraction(clap.getVertOffset());
    return result;
}

HevcImageFileReader::ImirProperty HevcImageFileReader::getPropertyImir(ContextId contextId, std::uint32_t index) const
{
    const auto imir = asProperty<ImageMirror>(getProperty(contextId, index));
    ImirProperty result;
    result.horizontalAxis = imir->getHorizontalAxis();
    return result;
}

HevcImageFileReader::IrotProperty HevcImageFileReader::getPropertyIrot(ContextId contextId, std::uint32_t index) const
{
    const auto irot = asProperty<ImageRotation>(getProperty(contextId, index));
    IrotProperty result;
    result.rotation = irot->getAngle();
    return result;
}

HevcImageFileReader::AuxcProperty HevcImageFileReader::getPropertyAuxc(ContextId contextId, std::uint32_t index) const
{
    const auto auxc = asProperty<AuxiliaryTypeProperty>(getProperty(contextId, index));
    AuxcProperty result;
    result.auxType = auxc->getAuxType();
    result.subType = auxc->getAuxSubType();
    return result;
}

HevcImageFileReader::RlocProperty HevcImageFileReader::getPropertyRloc(ContextId contextId, std::uint32_t index) const
{
    const auto rloc = asProperty<ImageRelativeLocationProperty>(getProperty(contextId, index));
    RlocProperty result;
    result.horizontalOffset = rloc->getHorizontalOffset();
    result.verticalOffset = rloc->getVerticalOffset();
    return result;
}

HevcImageFileReader::LselProperty HevcImageFileReader::getPropertyLsel(ContextId contextId, std::uint32_t index) const
{
    const auto lsel = asProperty<LayerSelectorProperty>(getProperty(contextId, index));
    LselProperty result;
    result.layerId = lsel->getLayerId();
    return result;
}

HevcImageFileReader::TolsProperty HevcImageFileReader::getPropertyTols(ContextId contextId, std::uint32_t index) const
{
    const auto tols = asProperty<TargetOlsProperty>(getProperty(contextId, index));
    TolsProperty result;
    result.targetOlsIndex = tols->getTargetOlsIndex();
    return result;
}

HevcImageFileReader::ClapProperty HevcImageFileReader::getPropertyClap(ContextId contextId, std::uint32_t index) const
{
    checkInitialized();
    if (requireMetaOrTrack(contextId) == ContextType::Track)
    {
        return findOrThrow(getTrackContextInfo(contextId).clapProperties, index, MissingCleanAperture);
    }
    return toClapProperty(*asProperty<CleanAperture>(getProperty(contextId, index)));
}

HevcImageFileReader::ProtectionSchemeInfo HevcImageFileReader::getItemProtectionScheme(ContextId contextId,
                                                                                       std::uint32_t itemId) const
{
    const MetaBox& metaBox = getMetaBox(contextId);
    std::uint16_t protectionIndex = 0;
    try
    {
        protectionIndex = metaBox.getItemInfoBox().getItemById(itemId).getItemProtectionIndex();
    }
    catch (...)
    {
        throw FileReaderException(InvalidItemId);
    }
    if (protectionIndex == 0)
    {
        throw FileReaderException(UnprotectedItem);
    }
    return metaBox.getProtectionSchemeInfoBox(static_cast<std::uint16_t>(protectionIndex - 1)).mData;
}
