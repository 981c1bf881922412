#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <istream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FourCCInt.h"
#include "ItemPropertiesBox.h"

// Read side of the HEIF container library: one object reads one file (or caller's stream) once
// and then answers queries by context id and item id. A meta context holds the items of a meta
// box; a track context holds the samples of a track (item id = 0-based sample index).
class ImageFileReaderInterface
{
public:
    typedef std::uint32_t ContextId;

    enum class ContextType
    {
        Meta = 0,
        Track = 1,
        File = 2
    };

    enum ErrorCode
    {
        FileOpenFailed = 0,
        FileHeaderReadFailed = 1,
        StreamReadFailed = 2,
        UnsupportedCodeType = 3,
        InvalidArgument = 4,
        InvalidContextId = 5,
        InvalidItemId = 6,
        InvalidPropertyIndex = 7,
        MissingCleanAperture = 8,
        ProtectedItem = 9,
        UnprotectedItem = 10,
        NotInitialized = 11,
        NullRecord = 12
    };

    /// The one exception of the reader: a code and an (often empty) message. what() falls back
    /// to a fixed text per code.
    class FileReaderException : public std::exception
    {
    public:
        explicit FileReaderException(int status, std::string message = std::string())
            : mStatus(status), mMessage(std::move(message))
        {
        }

        int getStatusCode() const { return mStatus; }
        const std::string& getMessage() const { return mMessage; }

        const char* what() const noexcept override
        {
            if (!mMessage.empty())
            {
                return mMessage.c_str();
            }
            return defaultText(mStatus);
        }

        static const char* defaultText(int status) noexcept
        {
            switch (status)
            {
            case FileOpenFailed:
                return "Unable to open input file.";
            case FileHeaderReadFailed:
                return "Error while reading file header.";
            case StreamReadFailed:
                return "Error while reading file.";
            case UnsupportedCodeType:
                return "Unsupported code type.";
            case InvalidArgument:
                return "Invalid API method parameter.";
            case InvalidContextId:
                return "Invalid context ID parameter.";
            case InvalidItemId:
                return "Invalid item ID parameter.";
            case InvalidPropertyIndex:
                return "Invalid item property index.";
            case MissingCleanAperture:
                return "Invalid sample description index.";
            case ProtectedItem:
                return "The item is unaccessible because it is protected.";
            case UnprotectedItem:
                return "The item is not protected.";
            case NotInitialized:
                return "Reader not initialized. Call initialize() first.";
            default:
                return "Unspecified error.";
            }
        }

    private:
        int mStatus;
        std::string mMessage;
    };

    // Feature codes; the numeric values are part of the interface.
    enum class FileFeature
    {
        IsSingleImage = 0,
        IsImageCollection = 1,
        IsImageSequence = 2,
        HasCoverImage = 3,
        HasRootLevelMetaBox = 5,
        HasAlternateTracks = 7
    };

    enum class MetaBoxFeature
    {
        IsSingleImage = 0,
        IsImageCollection = 1,
        HasMasterImages = 2,
        HasThumbnails = 3,
        HasCoverImage = 4,
        HasAuxiliaryImages = 5,
        HasDerivedImages = 6,
        HasPreComputedDerivedImages = 7,
        HasHiddenImages = 8,
        HasGroupLists = 9
    };

    enum class ImageFeature
    {
        IsMasterImage = 0,
        IsThumbnailImage = 1,
        IsAuxiliaryImage = 2,
        IsPrimaryImage = 3,
        IsDerivedImage = 4,
        IsPreComputedDerivedImage = 5,
        IsHiddenImage = 6,
        IsCoverImage = 7,
        IsProtected = 8,
        HasLinkedThumbnails = 9,
        HasLinkedAuxiliaryImage = 10,
        HasLinkedDerivedImage = 11,
        HasLinkedPreComputedDerivedImage = 12,
        HasLinkedTiles = 13,
        HasLinkedMetadata = 14
    };

    enum class ItemFeature
    {
        IsTileImageItem = 0,
        IsMetadataItem = 1,
        IsExifItem = 2,
        IsMimeItem = 3,
        IsProtected = 4
    };

    enum class TrackFeature
    {
        IsMasterImageSequence = 1,
        IsThumbnailImageSequence = 2,
        IsAuxiliaryImageSequence = 3,
        IsEnabled = 5,
        IsInMovie = 6,
        IsInPreview = 7,
        HasAlternatives = 8,
        HasCodingConstraints = 9,
        HasSampleGroups = 11,
        HasLinkedAuxiliaryTracks = 12,
        HasLinkedThumbnailTracks = 13,
        HasEditList = 19,
        HasInfiniteLoopPlayback = 20
    };

    /// No movie feature is ever set; the type exists so the movie record has its set.
    enum class MovieFeature
    {
        HasMovieMetaBox = 0
    };

    /// Output/reference class of a sample.
    enum class SampleType
    {
        OutputNonReferenceFrame = 0,
        OutputReferenceFrame = 1,
        NonOutputReferenceFrame = 2
    };

    enum class SampleCodingConstraint
    {
        AllRefPicsIntra = 0,
        IntraPredUsed = 1
    };

    typedef std::set<FileFeature> FileFeatureSet;
    typedef std::set<MetaBoxFeature> MetaBoxFeatureSet;
    typedef std::set<ImageFeature> ImageFeatureSet;
    typedef std::set<ItemFeature> ItemFeatureSet;
    typedef std::set<TrackFeature> TrackFeatureSet;
    typedef std::set<MovieFeature> MovieFeatureSet;

    typedef std::map<std::uint32_t, ImageFeatureSet> ImageFeaturesMap;
    typedef std::map<std::uint32_t, ItemFeatureSet> ItemFeaturesMap;

    /// One entity group of the meta box's group list.
    struct EntityGroup
    {
        std::uint32_t groupId = 0;
        std::vector<std::uint32_t> entityIds;
    };
    /// Grouping type to its groups, in file order.
    typedef std::map<FourCCInt, std::vector<EntityGroup>> EntityGroupingsMap;

    struct MetaBoxInformation
    {
        ContextId contextId = 0;
        MetaBoxFeatureSet features;
        ImageFeaturesMap imageFeaturesMap;
        ItemFeaturesMap itemFeaturesMap;
        EntityGroupingsMap entityGroupings;
    };

    struct SampleInformation
    {
        std::uint32_t sampleId = 0;
        std::string sampleEntryType;
        std::uint32_t sampleDescriptionIndex = 0;
        /// Grouping type to the 1-based group description index the sample is mapped to.
        std::map<FourCCInt, std::uint32_t> sampleGroupDescriptionIndex;
        SampleType sampleType = SampleType::OutputReferenceFrame;
        std::set<SampleCodingConstraint> codingConstraints;
        bool hasClap = false;
    };
    typedef std::map<std::uint32_t, SampleInformation> SamplePropertiesMap;

    struct TrackInformation
    {
        std::uint32_t trackId = 0;
        std::uint16_t alternateGroup = 0;
        TrackFeatureSet features;
        SamplePropertiesMap samplePropertiesMap;
        std::vector<std::uint32_t> alternateTrackIds;
        /// Reference type (four characters) to the referenced track ids.
        std::map<std::string, std::vector<std::uint32_t>> referenceTrackIds;
        /// Grouping type to the ascending ids of the samples mapped to some group.
        std::map<FourCCInt, std::vector<std::uint32_t>> sampleGroupMembers;
    };
    typedef std::map<ContextId, TrackInformation> TrackInformationMap;

    struct MovieInformation
    {
        ContextId contextId = 0;
        MovieFeatureSet features;
    };

    struct FileInformation
    {
        ContextId contextId = 0;
        FileFeatureSet features;
        MovieInformation movieInformation;
        MetaBoxInformation movieMetaBoxInformation;
        TrackInformationMap trackInformation;
        MetaBoxInformation rootMetaBoxInformation;
    };

    /// Grid description: rows and columns in the stored minus-one form, tiles in 'dimg' order.
    struct GridItem
    {
        std::uint8_t rowsMinusOne = 0;
        std::uint8_t columnsMinusOne = 0;
        std::uint32_t outputWidth = 0;
        std::uint32_t outputHeight = 0;
        std::vector<std::uint32_t> itemIds;
    };

    /// Overlay description: fill values in stored order, items in 'dimg' order with their
    /// horizontal and vertical offsets.
    struct OverlayItem
    {
        std::array<std::uint16_t, 4> canvasFillValue{};
        std::uint32_t outputWidth = 0;
        std::uint32_t outputHeight = 0;
        std::vector<std::uint32_t> itemIds;
        std::vector<std::pair<std::int32_t, std::int32_t>> offsets;
    };

    // The container's property kinds, so that a kind passes from box to query unchanged.
    using ItemPropertyType = ItemPropertiesBox::PropertyType;

    /// One property association of an item: kind, 0-based ipco index, essential flag.
    struct ItemPropertyInfo
    {
        ItemPropertyType type = ItemPropertyType::UNKNOWN;
        std::uint32_t index = 0;
        bool essential = false;
    };
    typedef std::vector<ItemPropertyInfo> PropertyTypeVector;

    // Property values.
    struct ImirProperty
    {
        bool horizontalAxis = false;
    };
    struct IrotProperty
    {
        std::uint32_t rotation = 0;  // degrees anticlockwise: 0, 90, 180, 270
    };
    struct AuxcProperty
    {
        std::string auxType;
        std::vector<std::uint8_t> subType;
    };
    struct RlocProperty
    {
        std::uint32_t horizontalOffset = 0;
        std::uint32_t verticalOffset = 0;
    };
    struct LselProperty
    {
        std::uint16_t layerId = 0;
    };
    struct TolsProperty
    {
        std::uint16_t targetOlsIndex = 0;
    };
    struct Fraction
    {
        std::uint32_t numerator = 0;
        std::uint32_t denominator = 1;
    };
    struct ClapProperty
    {
        Fraction width;
        Fraction height;
        Fraction horizontalOffset;
        Fraction verticalOffset;
    };

    /// The bytes of one whole 'sinf' box of the item protection box, header included.
    typedef std::vector<std::uint8_t> ProtectionSchemeInfo;

    /// "VPS", "SPS", "PPS" to their bytes, each unit after a 4-byte start code.
    typedef std::map<std::string, std::vector<std::uint8_t>> ParameterSetMap;

    typedef std::vector<std::uint32_t> IdVector;
    typedef std::map<std::uint32_t, std::uint32_t> TimestampMap;                       // ms to item id
    typedef std::vector<std::pair<std::uint32_t, std::uint32_t>> DecodingOrderVector;  // (item, ms)

    ImageFileReaderInterface() = default;
    virtual ~ImageFileReaderInterface() = default;
    ImageFileReaderInterface(const ImageFileReaderInterface&) = delete;
    ImageFileReaderInterface& operator=(const ImageFileReaderInterface&) = delete;

    virtual void initialize(const std::string& fileName) = 0;
    /// The stream is not owned and must outlive every query that reads item or sample bytes.
    virtual void initialize(std::istream* stream) = 0;
    virtual void close() = 0;

    virtual std::string getMajorBrand() const = 0;
    virtual std::uint32_t getMinorVersion() const = 0;
    virtual std::vector<std::string> getCompatibleBrands() const = 0;

    virtual const FileInformation& getFileInformation() const { return mFileInformation; }

    virtual std::uint32_t getDisplayWidth(ContextId contextId) const = 0;
    virtual std::uint32_t getDisplayHeight(ContextId contextId) const = 0;
    virtual std::uint32_t getWidth(ContextId contextId, std::uint32_t itemId) const = 0;
    virtual std::uint32_t getHeight(ContextId contextId, std::uint32_t itemId) const = 0;
    virtual std::vector<std::int32_t> getMatrix() const = 0;
    virtual float getPlaybackDurationInSecs(ContextId contextId) const = 0;
    virtual void setForcedTimedPlayback(ContextId contextId, float forcedFps) = 0;
    virtual void setForcedLoopPlayback(ContextId contextId, bool forceLoopPlayback) = 0;

    virtual void getItemListByType(ContextId contextId, const std::string& itemType, IdVector& itemIds) const = 0;
    virtual std::string getItemType(ContextId contextId, std::uint32_t itemId) const = 0;
    virtual void getReferencedFromItemListByType(ContextId contextId, std::uint32_t fromItemId,
                                                 const std::string& referenceType, IdVector& itemIds) const = 0;
    virtual void getReferencedToItemListByType(ContextId contextId, std::uint32_t toItemId,
                                               const std::string& referenceType, IdVector& itemIds) const = 0;
    virtual std::uint32_t getCoverImageItemId(ContextId contextId) const = 0;

    virtual void getItemData(ContextId contextId, std::uint32_t itemId, std::vector<std::uint8_t>& itemData) const = 0;
    virtual OverlayItem getItemIovl(ContextId contextId, std::uint32_t itemId) const = 0;
    virtual GridItem getItemGrid(ContextId contextId, std::uint32_t itemId) const = 0;

    virtual ImirProperty getPropertyImir(ContextId contextId, std::uint32_t index) const = 0;
    virtual IrotProperty getPropertyIrot(ContextId contextId, std::uint32_t index) const = 0;
    virtual AuxcProperty getPropertyAuxc(ContextId contextId, std::uint32_t index) const = 0;
    virtual RlocProperty getPropertyRloc(ContextId contextId, std::uint32_t index) const = 0;
    virtual LselProperty getPropertyLsel(ContextId contextId, std::uint32_t index) const = 0;
    virtual TolsProperty getPropertyTols(ContextId contextId, std::uint32_t index) const = 0;
    /// Meta context: index is the 0-based ipco position; track context: the sample description index.
    virtual ClapProperty getPropertyClap(ContextId contextId, std::uint32_t index) const = 0;
    virtual PropertyTypeVector getItemProperties(ContextId contextId, std::uint32_t itemId) const = 0;

    virtual void getItemDataWithDecoderParameters(ContextId contextId, std::uint32_t itemId,
                                                  std::vector<std::uint8_t>& itemDataWithDecoderParameters) const = 0;
    virtual ProtectionSchemeInfo getItemProtectionScheme(ContextId contextId, std::uint32_t itemId) const = 0;

    virtual void getItemTimestamps(ContextId contextId, TimestampMap& timestamps) const = 0;
    virtual void getTimestampsOfItem(ContextId contextId, std::uint32_t itemId, IdVector& timestamps) const = 0;
    virtual void getItemsInDecodingOrder(ContextId contextId, DecodingOrderVector& itemDecodingOrder) const = 0;
    virtual void getItemDecodeDependencies(ContextId contextId, std::uint32_t itemId, IdVector& dependencies) const = 0;

    virtual std::string getDecoderCodeType(ContextId contextId, std::uint32_t itemId) const = 0;
    virtual void getDecoderParameterSets(ContextId contextId, std::uint32_t itemId,
                                         ParameterSetMap& decoderParameterSets) const = 0;

    virtual FileInformation copyFileInformation() const { return mFileInformation; }

protected:
    FileInformation mFileInformation;
};

/// Makes a reader and initialises it from the file; an initialisation failure destroys the
/// reader and passes the exception on.
std::unique_ptr<ImageFileReaderInterface> createImageFileReader(const std::string& fileName);
/// As above, over the caller's stream (not owned).
std::unique_ptr<ImageFileReaderInterface> createImageFileReader(std::istream* stream);
