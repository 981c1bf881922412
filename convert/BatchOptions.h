#pragma once

// The option menus of the batch and which controls a running batch locks.

#include <cstdint>
#include <optional>
#include <string>

namespace pravix
{

// Scale menu: tag 0 to 9 gives (tag + 1) / 10 in single precision.
float imageZoomingForTag(int tag);
// Quality menu: tag 0 to 9 gives tag x 10 + 10 percent.
int32_t qualityForTag(int tag);
// The Exif check box is offered for "JPG" output only.
bool isExifEnabled(const std::string& saveSuff);

// ToBtState: what is enabled when idle (true) or converting (false). The Exif check box is set only
// when the output type offers it; otherwise it keeps its state (none). The 1-second progress timer
// runs exactly while not idle.
struct ControlStates
{
    bool optionMenus = true;    // output type, scale, quality
    std::optional<bool> exif;
    bool selectPath = true;
    bool addFile = true;
    bool progressTimer = false;
};
ControlStates controlStates(bool idle, const std::string& saveSuff);

}  // namespace pravix
