#include "GridDecoder.h"

#include "ParallelFor.h"
#include "CodedPicture.h"
#include "DecodeSizeLimits.h"
#include "PictureTarget.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <utility>

extern "C"
{
#include <libswscale/swscale.h>
}

namespace pravix
{

// One decoding thread's decoder, converter and tile-sized RGB scratch, kept from band to band.
struct TileWorker
{
    HevcDecoder decoder{1};
    SwsContext* sws = nullptr;
    FramePtr frame;
    Bitmap scratch;

    ~TileWorker() { sws_freeContext(sws); }
};

namespace
{

// Tiles named again in a later band are kept decoded up to this many bytes; beyond it they are decoded
// again when named.
constexpr size_t kKeptTilesBudget = size_t(64) << 20;
// Bands of tile rows are at least this many pixel rows, or bytes, large, so the reducing work comes in
// large pieces.
constexpr uint32_t kMinBandRows = 256;
constexpr size_t kMinBandBytes = size_t(32) << 20;

}  // namespace

GridDecoder::GridDecoder(const HeifImageItems& items, uint32_t gridId, const ItemColour& gridColour)
    : mItems(items), mLayout(items.grid(gridId)), mTileColour(gridColour)
{
    checkDecodableSize(mLayout.width, mLayout.height);
    const std::vector<uint32_t>& ids = mLayout.tiles;
    if (ids.size() != static_cast<size_t>(mLayout.rows) * mLayout.columns)
    {
        throw PictureDecodeError("grid has " + std::to_string(ids.size()) + " tiles for " +
                              std::to_string(mLayout.rows) + "x" + std::to_string(mLayout.columns));
    }
    std::map<uint32_t, size_t> indexOf;
    mPlaceTile.resize(ids.size());
    for (uint32_t place = 0; place < ids.size(); ++place)
    {
        const auto [it, added] = indexOf.emplace(ids[place], mTiles.size());
        mPlaceTile[place] = it->second;
        if (!added)
        {
            mTiles[it->second].places.push_back(place);
            continue;
        }
        mTiles.push_back(Tile{ids[place], {place}});
        if (items.itemType(ids[place]) != "hvc1")
        {
            throw PictureDecodeError("grid tile is not an HEVC image");
        }
        const std::optional<PictureSize> s = items.spatialExtent(ids[place]);
        if (!s || (mTiles.size() > 1 && (s->width != mTileWidth || s->height != mTileHeight)))
        {
            throw PictureDecodeError("grid tiles differ in size");
        }
        mTileWidth = s->width;
        mTileHeight = s->height;
    }
    checkDecodableSize(mTileWidth, mTileHeight);
    // The tiles must cover the output, and no row or column of them may lie wholly outside it.
    const uint64_t coveredW = static_cast<uint64_t>(mTileWidth) * mLayout.columns;
    const uint64_t coveredH = static_cast<uint64_t>(mTileHeight) * mLayout.rows;
    if (coveredW < mLayout.width || coveredH < mLayout.height || coveredW - mTileWidth >= mLayout.width ||
        coveredH - mTileHeight >= mLayout.height)
    {
        throw PictureDecodeError("grid tiles do not match the grid's size");
    }
    if (!mTileColour.hasNclx)
    {
        items.readColour(ids.front(), mTileColour);
    }
}

GridDecoder::~GridDecoder() = default;

void GridDecoder::decodeTiles(const std::vector<size_t>& tiles, bool keepWorkers,
                              const std::function<void(size_t tile, TileWorker& worker)>& use)
{
    const size_t workers = std::min<size_t>(tiles.size(), workerCount());
    if (mWorkers.size() < workers)
    {
        mWorkers.resize(workers);
    }
    std::atomic<size_t> next{0};
    // The reason given is that of the first failing tile of the list. Tiles are taken in list order, so
    // every tile before a failed one has been taken and runs to its end: which tile fails first is the
    // same whichever worker meets its failure first.
    std::atomic<size_t> firstFailed{tiles.size()};
    std::mutex errorLock;
    std::string firstError;
    auto fail = [&](size_t n, const std::exception& e)
    {
        std::lock_guard<std::mutex> lock(errorLock);
        if (n < firstFailed)
        {
            firstFailed = n;
            firstError = e.what();
        }
    };
    // Each worker makes its decoder on its own thread: opening a decoder costs as much as a small tile.
    auto work = [&](std::unique_ptr<TileWorker>& slot)
    {
        try
        {
            if (!slot)
            {
                slot = std::make_unique<TileWorker>();
            }
        }
        catch (const std::exception& e)
        {
            fail(0, e);
            return;
        }
        TileWorker& worker = *slot;
        while (true)
        {
            const size_t n = next++;
            if (n >= firstFailed)
            {
                break;
            }
            try
            {
                std::vector<uint8_t> stream;
                {
                    std::lock_guard<std::mutex> lock(mReadLock);
                    stream = mItems.byteStream(mTiles[tiles[n]].id);
                }
                ++mTilesDecoded;
                worker.frame = decodeCodedPicture(worker.decoder, stream, PictureSize{mTileWidth, mTileHeight});
                stream = {};
                use(tiles[n], worker);
                worker.frame.reset();
            }
            catch (const std::exception& e)
            {
                worker.frame.reset();
                fail(n, e);
            }
        }
        if (!keepWorkers)
        {
            slot.reset();  // a worker out of tiles gives its decoder's memory back while the others finish
        }
    };
    std::vector<std::thread> threads;
    for (size_t i = 1; i < workers; ++i)
    {
        threads.emplace_back(work, std::ref(mWorkers[i]));
    }
    if (workers > 0)
    {
        work(mWorkers[0]);
    }
    for (std::thread& t : threads)
    {
        t.join();
    }
    if (firstFailed < tiles.size())
    {
        throw PictureDecodeError("grid tile: " + firstError);
    }
}

void GridDecoder::convertWhole(TileWorker& worker) const
{
    Bitmap& tile = worker.scratch;
    if ((tile.width != mTileWidth || tile.height != mTileHeight) && !tile.allocate(mTileWidth, mTileHeight, 3))
    {
        throw PictureDecodeError("tile too large");
    }
    const ColourInfo info = mTileColour.hasNclx ? mTileColour.nclx : colourOfFrame(worker.frame.get());
    if (!convertFrameToRgb(worker.frame.get(), info, mTileWidth, mTileHeight, tile.pixels.data(), tile.stride(), 3,
                           &worker.sws))
    {
        throw PictureDecodeError("unsupported picture format");
    }
}

void GridDecoder::decodeInto(PictureTarget& target)
{
    if (target.reduces())
    {
        decodeInBands(target);
    }
    else
    {
        decodeWhole(target);
    }
}

void GridDecoder::decodeWhole(PictureTarget& target)
{
    std::vector<size_t> all(mTiles.size());
    for (size_t i = 0; i < all.size(); ++i)
    {
        all[i] = i;
    }
    decodeTiles(all, false,
                [&](size_t index, TileWorker& worker)
                {
                    const Tile& tile = mTiles[index];
                    // A tile named once goes straight into its place, cut to the picture, when the cut
                    // leaves whole chroma samples; otherwise it is converted whole and cut afterwards.
                    if (tile.places.size() == 1)
                    {
                        const uint32_t x = placeX(tile.places[0]);
                        const uint32_t y = placeY(tile.places[0]);
                        const uint32_t w = std::min(mTileWidth, mLayout.width - x);
                        const uint32_t h = std::min(mTileHeight, mLayout.height - y);
                        size_t stride = 0;
                        uint8_t* direct = coversWholeChroma(worker.frame.get(), w, h)
                                              ? target.directRect(x, y, w, h, stride)
                                              : nullptr;
                        if (direct != nullptr)
                        {
                            const ColourInfo info =
                                mTileColour.hasNclx ? mTileColour.nclx : colourOfFrame(worker.frame.get());
                            if (!convertFrameToRgb(worker.frame.get(), info, w, h, direct, stride, 3, &worker.sws))
                            {
                                throw PictureDecodeError("unsupported picture format");
                            }
                            return;
                        }
                    }
                    convertWhole(worker);
                    const Bitmap& rgb = worker.scratch;
                    parallelFor(tile.places.size(), 64,
                                [&](size_t begin, size_t end)
                                {
                                    for (size_t p = begin; p < end; ++p)
                                    {
                                        target.place(placeX(tile.places[p]), placeY(tile.places[p]), mTileWidth,
                                                     mTileHeight, rgb.pixels.data(), rgb.stride());
                                    }
                                });
                });
}

void GridDecoder::decodeInBands(PictureTarget& target)
{
    // The last tile row that names each tile.
    std::vector<uint32_t> lastRow(mTiles.size());
    for (size_t i = 0; i < mTiles.size(); ++i)
    {
        lastRow[i] = mTiles[i].places.back() / mLayout.columns;
    }
    const size_t minRows = std::max<size_t>(kMinBandRows, kMinBandBytes / (size_t(mLayout.width) * 3));
    const uint32_t rowsPerBand = static_cast<uint32_t>(
        std::min<size_t>(mLayout.rows, std::max<size_t>(1, (minRows + mTileHeight - 1) / mTileHeight)));
    std::vector<uint32_t> listedInRow(mTiles.size(), 0);  // 1 + the band's first row once a band lists it
    Bitmap band;
    std::map<size_t, Bitmap> kept;  // decoded tiles named again in a later band
    size_t keptBytes = 0;
    for (uint32_t row = 0; row < mLayout.rows; row += rowsPerBand)
    {
        const uint32_t rowEnd = std::min(mLayout.rows, row + rowsPerBand);
        const uint32_t top = row * mTileHeight;
        const uint32_t height = std::min(mLayout.height, rowEnd * mTileHeight) - top;
        if (band.width != mLayout.width || band.height != height)
        {
            band = Bitmap{};
            if (!band.allocate(mLayout.width, height, 3))
            {
                throw PictureDecodeError("picture too large");
            }
        }
        // The tiles the band names that are not decoded yet.
        const uint32_t firstPlace = row * mLayout.columns;
        const uint32_t endPlace = rowEnd * mLayout.columns;
        std::vector<size_t> missing;
        for (uint32_t place = firstPlace; place < endPlace; ++place)
        {
            const size_t index = mPlaceTile[place];
            if (kept.count(index) == 0 && listedInRow[index] != row + 1)
            {
                listedInRow[index] = row + 1;
                missing.push_back(index);
            }
        }
        // A tile named once goes straight into the band when its cut leaves whole chroma samples; the
        // others are converted whole and copied to each place.
        std::map<size_t, Bitmap> decoded;
        std::vector<char> drawn(endPlace - firstPlace, 0);
        std::mutex decodedLock;
        decodeTiles(missing, true,
                    [&](size_t index, TileWorker& worker)
                    {
                        const Tile& tile = mTiles[index];
                        if (tile.places.size() == 1)
                        {
                            const uint32_t x = placeX(tile.places[0]);
                            const uint32_t y = placeY(tile.places[0]) - top;
                            const uint32_t w = std::min(mTileWidth, mLayout.width - x);
                            const uint32_t h = std::min(mTileHeight, height - y);
                            if (coversWholeChroma(worker.frame.get(), w, h))
                            {
                                const ColourInfo info =
                                    mTileColour.hasNclx ? mTileColour.nclx : colourOfFrame(worker.frame.get());
                                if (!convertFrameToRgb(worker.frame.get(), info, w, h, band.row(y) + size_t(x) * 3,
                                                       band.stride(), 3, &worker.sws))
                                {
                                    throw PictureDecodeError("unsupported picture format");
                                }
                                drawn[tile.places[0] - firstPlace] = 1;
                                return;
                            }
                        }
                        convertWhole(worker);
                        std::lock_guard<std::mutex> lock(decodedLock);
                        decoded[index] = std::exchange(worker.scratch, Bitmap{});
                    });
        parallelFor(endPlace - firstPlace, 8,
                    [&](size_t begin, size_t end)
                    {
                        for (uint32_t place = firstPlace + static_cast<uint32_t>(begin);
                             place < firstPlace + static_cast<uint32_t>(end); ++place)
                        {
                            if (drawn[place - firstPlace] != 0)
                            {
                                continue;
                            }
                            const size_t index = mPlaceTile[place];
                            const auto k = kept.find(index);
                            const Bitmap& rgb = k != kept.end() ? k->second : decoded.at(index);
                            const uint32_t x = placeX(place);
                            const uint32_t y = placeY(place) - top;
                            const uint32_t w = std::min(mTileWidth, mLayout.width - x);
                            const uint32_t h = std::min(mTileHeight, height - y);
                            for (uint32_t r = 0; r < h; ++r)
                            {
                                std::copy_n(rgb.row(r), static_cast<size_t>(w) * 3, band.row(y + r) + size_t(x) * 3);
                            }
                        }
                    });
        target.pushRows(height, band.pixels.data(), band.stride());
        // Keep what later bands name, as far as the budget allows; forget what they do not.
        for (auto it = kept.begin(); it != kept.end();)
        {
            if (lastRow[it->first] < rowEnd)
            {
                keptBytes -= it->second.pixels.size();
                it = kept.erase(it);
            }
            else
            {
                ++it;
            }
        }
        for (auto& [index, rgb] : decoded)
        {
            if (lastRow[index] >= rowEnd && keptBytes + rgb.pixels.size() <= kKeptTilesBudget)
            {
                keptBytes += rgb.pixels.size();
                kept.emplace(index, std::move(rgb));
            }
        }
    }
}

}  // namespace pravix
