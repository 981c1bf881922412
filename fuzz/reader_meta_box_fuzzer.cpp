// The meta box parser on its own, as the reader uses it on a root box.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "MetaBox.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::parseOneBox<MetaBox>(data, size);
    return 0;
}
