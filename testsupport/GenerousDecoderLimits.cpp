// Linked into the test programs that decode pictures through the picture decoder helper: their wall-clock
// deadline and processor time are made generous, so that a test of something else does not fail when the
// machine is busy (the sanitizer build decodes several times slower, and CI runs suites side by side).
// The tests of the limits themselves set their own.
#include "PictureDecoderProcess.h"

namespace
{

const bool gGenerous = []
{
    pravix::PictureDecoderLimits limits;
    limits.cpuSeconds = 300;
    limits.deadline = std::chrono::milliseconds(120000);
    pravix::PictureDecoderProcess::setLimits(limits);
    return true;
}();

}  // namespace
