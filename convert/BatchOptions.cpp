#include "BatchOptions.h"

namespace pravix
{

float imageZoomingForTag(int tag)
{
    return static_cast<float>(tag + 1) / 10.0f;
}

int32_t qualityForTag(int tag)
{
    return tag * 10 + 10;
}

bool isExifEnabled(const std::string& saveSuff)
{
    return saveSuff == "JPG";
}

ControlStates controlStates(bool idle, const std::string& saveSuff)
{
    ControlStates states;
    states.optionMenus = idle;
    if (isExifEnabled(saveSuff))
    {
        states.exif = idle;
    }
    states.selectPath = idle;
    states.addFile = idle;
    states.progressTimer = !idle;
    return states;
}

}  // namespace pravix
