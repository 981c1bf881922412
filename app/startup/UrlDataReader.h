#pragma once

#include "UrlDataFetcher.h"

#include <chrono>

namespace pravix
{

// Gives the engine's image loader the network it has not got of its own: a picture named by an
// http or https address is fetched with UrlDataFetcher on the loading thread, within the time limit;
// a failed fetch leaves one line in the log saying why.
void installUrlDataReader(std::chrono::milliseconds timeout = UrlDataFetcher::kDefaultTimeout);

}  // namespace pravix
