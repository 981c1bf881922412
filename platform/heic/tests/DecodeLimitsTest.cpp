#include "PictureDecodeError.h"
#include "HeicImageSource.h"
#include "ParallelFor.h"
#include "DecodeSizeLimits.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

using namespace pravix;
using namespace pravix::test;

// Work is spread over the machine's cores until limited; limited to one thread, it all runs on the
// caller's; and an exception in any chunk reaches the caller.
TEST(DecodeLimitsTest, WorkersCanBeLimited)
{
    auto threadsUsed = []
    {
        std::mutex lock;
        std::set<std::thread::id> ids;
        parallelFor(1000, 1,
                    [&](size_t, size_t)
                    {
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                        std::lock_guard<std::mutex> guard(lock);
                        ids.insert(std::this_thread::get_id());
                    });
        return ids;
    };
    limitWorkers(1);
    EXPECT_EQ(workerCount(), 1u);
    const std::set<std::thread::id> one = threadsUsed();
    EXPECT_EQ(one, std::set<std::thread::id>{std::this_thread::get_id()});
    ASSERT_TRUE(HeicImageSource::createWithFile(dataPath("grid_overhang.heic"))->imageAtIndex(0));
    limitWorkers(0);
    EXPECT_EQ(workerCount(), std::max(1u, std::thread::hardware_concurrency()));
    if (workerCount() > 1)
    {
        EXPECT_GT(threadsUsed().size(), 1u);
    }
    EXPECT_THROW(parallelFor(100, 1,
                             [](size_t begin, size_t)
                             {
                                 if (begin > 0)
                                 {
                                     throw std::runtime_error("chunk");
                                 }
                             }),
                 std::runtime_error);
}

// Below the pixel limit a picture decodes; above it, it is refused with the reason, tile or whole.
TEST(DecodeLimitsTest, PixelLimitRefusesLargerPictures)
{
    limitDecodedPixels(128 * 96 - 1);
    for (const char* name : {"single.heic", "grid_overhang.heic"})
    {
        SCOPED_TRACE(name);
        auto source = HeicImageSource::createWithFile(dataPath(name));
        EXPECT_FALSE(source->imageAtIndex(0));
        EXPECT_NE(source->lastError().find("outside the limits"), std::string::npos) << source->lastError();
    }
    limitDecodedPixels(0);
    EXPECT_TRUE(HeicImageSource::createWithFile(dataPath("single.heic"))->imageAtIndex(0));
    EXPECT_NO_THROW(checkDecodableSize(16384, 16384));
    EXPECT_THROW(checkDecodableSize(16385, 1), PictureDecodeError);
}
