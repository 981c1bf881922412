#pragma once

#include "HeifImageItems.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pravix
{

class PictureTarget;
struct TileWorker;

// Decodes an image grid into a PictureTarget. Each distinct tile is read and decoded once, however
// often the grid names it, and drawn at every place that names it; a tile is converted to RGB whole and
// cut at the picture's edge afterwards, so the chroma of a picture of odd size is not stretched. Tiles
// are decoded on all cores, one decoder per worker. When the target reduces the picture, the tiles are
// decoded a band of tile rows at a time and each band goes to the target before the next is decoded;
// a tile named again in a later band is kept until then, within a memory budget.
class GridDecoder
{
public:
    // Checks the layout: every tile an HEVC picture of one size, and the tiles cover the grid's size
    // with no row or column wholly outside it. Throws PictureDecodeError.
    GridDecoder(const HeifImageItems& items, uint32_t gridId, const ItemColour& gridColour);
    ~GridDecoder();

    uint32_t width() const { return mLayout.width; }
    uint32_t height() const { return mLayout.height; }

    // Throws PictureDecodeError naming the first tile that failed.
    void decodeInto(PictureTarget& target);
    // How many tiles have been read and decoded so far.
    size_t tilesDecoded() const { return mTilesDecoded; }

private:
    struct Tile
    {
        uint32_t id = 0;
        std::vector<uint32_t> places;  // indexes into the grid, ascending
    };

    void decodeWhole(PictureTarget& target);
    void decodeInBands(PictureTarget& target);
    // Decodes the listed tiles (indexes into mTiles) on all cores and hands each, as its worker's
    // frame, to `use` on that worker's thread. The workers' decoders are kept for the next call when
    // keepWorkers is set, else closed as each worker runs out of tiles.
    void decodeTiles(const std::vector<size_t>& tiles, bool keepWorkers,
                     const std::function<void(size_t tile, TileWorker& worker)>& use);
    // The worker's frame converted to RGB whole into its scratch bitmap.
    void convertWhole(TileWorker& worker) const;
    uint32_t placeX(uint32_t place) const { return (place % mLayout.columns) * mTileWidth; }
    uint32_t placeY(uint32_t place) const { return (place / mLayout.columns) * mTileHeight; }

    const HeifImageItems& mItems;
    GridLayout mLayout;
    uint32_t mTileWidth = 0;
    uint32_t mTileHeight = 0;
    ItemColour mTileColour;  // the grid's nclx, else the first tile's
    std::vector<Tile> mTiles;
    std::vector<size_t> mPlaceTile;  // per place of the grid, its index in mTiles
    std::vector<std::unique_ptr<TileWorker>> mWorkers;
    std::mutex mReadLock;  // the reader reads item data from one stream
    std::atomic<size_t> mTilesDecoded{0};
};

}  // namespace pravix
