#include "ParallelFor.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace pravix
{

unsigned workerCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void parallelFor(size_t count, size_t minChunk, const std::function<void(size_t begin, size_t end)>& body)
{
    if (count == 0)
    {
        return;
    }
    const size_t chunks = std::min<size_t>(workerCount(), std::max<size_t>(1, count / std::max<size_t>(1, minChunk)));
    const size_t step = (count + chunks - 1) / chunks;
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&](size_t begin)
    {
        try
        {
            body(begin, std::min(count, begin + step));
        }
        catch (...)
        {
            std::lock_guard<std::mutex> lock(failureLock);
            if (!failure)
            {
                failure = std::current_exception();
            }
        }
    };
    std::vector<std::thread> threads;
    for (size_t begin = step; begin < count; begin += step)
    {
        threads.emplace_back(run, begin);
    }
    run(0);
    for (std::thread& t : threads)
    {
        t.join();
    }
    if (failure)
    {
        std::rethrow_exception(failure);
    }
}

}  // namespace pravix
