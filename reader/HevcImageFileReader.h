#pragma once

#include <cstdint>
#include <fstream>
#include <istream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ColourInformationBox.h"
#include "DecodePts.h"
#include "FileTypeBox.h"
#include "ImageFileReaderInterface.h"
#include "ItemReferenceIndex.h"

class BitStream;
class ItemLocation;
class MetaBox;
class MovieBox;
class TrackBox;

// Reader of HEIF/HEIC files: parses the root boxes once at initialize() and answers the queries
// of ImageFileReaderInterface from the tables built then. Item and sample bytes are read from the
// input stream on demand, so a caller's stream must outlive the queries that read data.
class HevcImageFileReader : public ImageFileReaderInterface
{
public:
    HevcImageFileReader();
    ~HevcImageFileReader() override;

    void initialize(const std::string& fileName) override;
    void initialize(std::istream* stream) override;
    void close() override;

    std::string getMajorBrand() const override;
    std::uint32_t getMinorVersion() const override;
    std::vector<std::string> getCompatibleBrands() const override;

    std::uint32_t getDisplayWidth(ContextId contextId) const override;
    std::uint32_t getDisplayHeight(ContextId contextId) const override;
    std::uint32_t getWidth(ContextId contextId, std::uint32_t itemId) const override;
    std::uint32_t getHeight(ContextId contextId, std::uint32_t itemId) const override;
    std::vector<std::int32_t> getMatrix() const override;
    float getPlaybackDurationInSecs(ContextId contextId) const override;
    void setForcedTimedPlayback(ContextId contextId, float forcedFps) override;
    void setForcedLoopPlayback(ContextId contextId, bool forceLoopPlayback) override;

    void getItemListByType(ContextId contextId, const std::string& itemType, IdVector& itemIds) const override;
    std::string getItemType(ContextId contextId, std::uint32_t itemId) const override;
    void getReferencedFromItemListByType(ContextId contextId, std::uint32_t fromItemId,
                                         const std::string& referenceType, IdVector& itemIds) const override;
    void getReferencedToItemListByType(ContextId contextId, std::uint32_t toItemId, const std::string& referenceType,
                                       IdVector& itemIds) const override;
    std::uint32_t getCoverImageItemId(ContextId contextId) const override;

    void getItemData(ContextId contextId, std::uint32_t itemId, std::vector<std::uint8_t>& itemData) const override;
    OverlayItem getItemIovl(ContextId contextId, std::uint32_t itemId) const override;
    GridItem getItemGrid(ContextId contextId, std::uint32_t itemId) const override;

    ImirProperty getPropertyImir(ContextId contextId, std::uint32_t index) const override;
    IrotProperty getPropertyIrot(ContextId contextId, std::uint32_t index) const override;
    AuxcProperty getPropertyAuxc(ContextId contextId, std::uint32_t index) const override;
    RlocProperty getPropertyRloc(ContextId contextId, std::uint32_t index) const override;
    LselProperty getPropertyLsel(ContextId contextId, std::uint32_t index) const override;
    TolsProperty getPropertyTols(ContextId contextId, std::uint32_t index) const override;
    ClapProperty getPropertyClap(ContextId contextId, std::uint32_t index) const override;
    PropertyTypeVector getItemProperties(ContextId contextId, std::uint32_t itemId) const override;

    void getItemDataWithDecoderParameters(ContextId contextId, std::uint32_t itemId,
                                          std::vector<std::uint8_t>& itemDataWithDecoderParameters) const override;
    ProtectionSchemeInfo getItemProtectionScheme(ContextId contextId, std::uint32_t itemId) const override;

    void getItemTimestamps(ContextId contextId, TimestampMap& timestamps) const override;
    void getTimestampsOfItem(ContextId contextId, std::uint32_t itemId, IdVector& timestamps) const override;
    void getItemsInDecodingOrder(ContextId contextId, DecodingOrderVector& itemDecodingOrder) const override;
    void getItemDecodeDependencies(ContextId contextId, std::uint32_t itemId, IdVector& dependencies) const override;

    std::string getDecoderCodeType(ContextId contextId, std::uint32_t itemId) const override;
    void getDecoderParameterSets(ContextId contextId, std::uint32_t itemId,
                                 ParameterSetMap& decoderParameterSets) const override;

    /// The colour properties ('colr') associated with an item of a meta context, in the order of its
    /// associations; empty when it has none. A damaged 'colr', and an association that names no
    /// property, are passed over. A track context gives InvalidContextId, an item the meta box
    /// does not list InvalidItemId.
    std::vector<std::shared_ptr<const ColourInformationBox>> getItemColourProperties(ContextId contextId,
                                                                                     std::uint32_t itemId) const;

    /// 0 uninitialised, 1 reading (also after a parse that stopped early or threw), 2 read.
    int getState() const { return static_cast<int>(mState); }
    ContextType getContextType(ContextId contextId) const;

private:
    enum class State
    {
        Uninitialized = 0,
        Initializing = 1,
        Ready = 2
    };

    struct ContextInfo
    {
        ContextType contextType = ContextType::Meta;
        bool hasCoverImage = false;
        std::uint32_t coverItemId = 0;
        bool forcedLoopPlayback = false;
    };

    struct ImageInfo
    {
        std::string type;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        double displayTime = 0;  // ms
    };

    struct MetaContextInfo
    {
        std::uint32_t masterImageCount = 0;
        bool isForcedFps = false;
        float forcedFps = 0;
        std::map<std::uint32_t, ImageInfo> imageInfoMap;
        std::map<std::uint32_t, std::string> itemInfoMap;
        std::map<std::uint32_t, GridItem> gridItems;
        std::map<std::uint32_t, OverlayItem> iovlItems;
    };

    struct SampleInfo
    {
        std::uint32_t sampleId = 0;
        std::vector<std::int64_t> timestamps;  // ms, ascending
        IdVector decodeDependencies;
        std::uint64_t dataOffset = 0;
        std::uint32_t dataLength = 0;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        std::uint32_t sampleDescriptionIndex = 0;
        std::string sampleEntryType;
        SampleType sampleType = SampleType::OutputReferenceFrame;
    };

    struct TrackContextInfo
    {
        std::vector<SampleInfo> samples;
        std::uint32_t displayWidth = 0;
        std::uint32_t displayHeight = 0;
        double durationInSecs = 0;
        std::map<std::uint32_t, ClapProperty> clapProperties;  // by sample description index
        std::map<std::uint32_t, std::string> codeTypes;        // "hvc1" or "avc1", by sample description index
    };

    typedef std::pair<ContextId, std::uint32_t> Id;  // context and item (or configuration index)

    // Parse.
    void readStream();
    /// Reads the next root box; fills type and, for the boxes that are parsed, the box bytes.
    void readBox(FourCCInt& type, BitStream& bitstream);
    bool handleFileType(BitStream& bitstream);
    void handleMeta(BitStream& bitstream);
    void handleMovie(BitStream& bitstream);
    void extractFileFeatures(FileInformation& fileInformation) const;

    // Meta contexts.
    MetaBoxInformation extractMetaBoxInformation(const MetaBox& metaBox, ContextId contextId) const;
    ImageFeaturesMap extractImageFeatures(const MetaBox& metaBox, const ItemReferenceIndex& references) const;
    ItemFeaturesMap extractItemFeatures(const MetaBox& metaBox, const ItemReferenceIndex& references) const;
    MetaContextInfo extractItemTables(ContextId contextId) const;
    void setImageTypesAndSizes(ContextId contextId);
    /// Reads the parameter sets of every decoder configuration an image item names, once each.
    void processDecoderConfigProperties(ContextId contextId);
    /// The coding type of a meta item ("hvc1", "lhv1", "avc1" or "not supported") and the 1-based
    /// ipco index of its configuration (0 when it names none).
    std::string metaItemConfiguration(ContextId contextId, std::uint32_t itemId, std::uint32_t& index) const;

    // Track contexts.
    /// What the tracks of the movie may still build, bounded by the file's size.
    struct MovieBudget;
    void extractTrackInfo(const MovieBox& movieBox);
    /// The track's tables, within the budget; false, or an exception, when it has to be left out.
    bool buildTrack(const TrackBox& trackBox, std::uint32_t movieTimeScale, MovieBudget& budget,
                    TrackInformation& information, TrackContextInfo& contextInfo) const;
    TrackFeatureSet extractTrackFeatures(const TrackBox& trackBox) const;
    /// False when the track has to be left out.
    bool extractSampleInformation(const TrackBox& trackBox, TrackInformation& information) const;
    /// Display size, duration and the presentation times of the samples.
    DecodePts::PresentationTimeMap extractTrackTiming(const TrackBox& trackBox, std::uint32_t movieTimeScale,
                                                      MovieBudget& budget, TrackContextInfo& info) const;
    void extractSampleRecords(const TrackBox& trackBox, const DecodePts::PresentationTimeMap& times,
                              const TrackInformation& information, MovieBudget& budget, TrackContextInfo& info) const;
    void extractTrackDecoderConfigurations(const TrackBox& trackBox, ContextId contextId,
                                           TrackContextInfo& trackContextInfo);
    void getTrackItemListByType(ContextId contextId, const std::string& itemType, IdVector& itemIds) const;
    std::string getTrackItemType(ContextId contextId, std::uint32_t sampleId) const;
    const SampleInfo& getSample(ContextId contextId, std::uint32_t sampleId) const;

    // Item data.
    /// One read of a meta item: the items it is built from, each read once, and what the read
    /// may still take in bytes and extents.
    struct ItemRead;
    /// The bytes of a meta item as its locations give them, bounded by the file's size.
    void readItem(ContextId contextId, std::uint32_t itemId, std::vector<std::uint8_t>& data) const;
    void readItem(ContextId contextId, std::uint32_t itemId, std::vector<std::uint8_t>& data, ItemRead& read) const;
    /// Construction method 2: the item assembled from the items its 'iloc' references name.
    void assembleItem(ContextId contextId, std::uint32_t itemId, const ItemLocation& location,
                      std::vector<std::uint8_t>& data, ItemRead& read) const;
    void readSample(ContextId contextId, std::uint32_t sampleId, std::vector<std::uint8_t>& data) const;
    void readFromStream(std::uint64_t offset, std::uint64_t length, std::uint8_t* destination,
                        const std::string& message) const;
    void convertToByteStream(ContextId contextId, std::uint32_t itemId, const std::vector<std::uint8_t>& source,
                             std::vector<std::uint8_t>& destination, bool isAvc) const;
    unsigned getNalLengthSize(ContextId contextId, std::uint32_t itemId) const;
    /// The decoder configuration of a meta item or a track sample; false when it has none.
    bool findConfiguration(ContextId contextId, std::uint32_t itemId, Id& configuration) const;

    // Checks and look-ups.
    void checkInitialized() const;
    const ContextInfo& getContextInfo(ContextId contextId) const;
    const MetaBox& getMetaBox(ContextId contextId) const;
    const ItemReferenceIndex& getReferenceIndex(ContextId contextId) const;
    const MetaContextInfo& getMetaContextInfo(ContextId contextId) const;
    const TrackContextInfo& getTrackContextInfo(ContextId contextId) const;
    bool isProtected(ContextId contextId, std::uint32_t itemId) const;
    std::shared_ptr<const Box> getProperty(ContextId contextId, std::uint32_t index) const;
    ContextType requireMetaOrTrack(ContextId contextId) const;
    void requireMeta(ContextId contextId) const;

    std::ifstream mFile;
    std::istream* mInputStream = nullptr;
    std::uint64_t mStreamEnd = 0;
    State mState = State::Uninitialized;

    FileTypeBox mFileTypeBox;
    std::vector<std::int32_t> mMatrix;

    std::map<ContextId, ContextInfo> mContextInfo;
    std::map<ContextId, std::shared_ptr<MetaBox>> mMetaBoxes;
    std::map<ContextId, ItemReferenceIndex> mReferenceIndexes;
    std::map<ContextId, MetaContextInfo> mMetaContextInfo;
    std::map<ContextId, TrackContextInfo> mTrackContextInfo;

    std::map<Id, ParameterSetMap> mParameterSets;
    std::map<Id, unsigned> mNalLengthSizes;  // by configuration

    FileInformation mStagingFileInformation;
};
