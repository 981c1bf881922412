#include "BatchTexts.h"

namespace pravix
{

ButtonLook buttonLook(BatchPhase phase)
{
    switch (phase)
    {
    case BatchPhase::Converting:
        return ButtonLook{"Stop", "StopToBt"};
    case BatchPhase::Stopping:
        return ButtonLook{"Stoping", "StopToBt"};
    case BatchPhase::Idle:
        break;
    }
    return ButtonLook{"Conversion", "ToBt"};
}

uint32_t nextProgressCounter(uint32_t counter)
{
    return counter < 3 ? counter + 1 : 0;
}

std::string progressTitle(const std::string& converText, uint32_t counter)
{
    if (counter == 0)
    {
        return converText + ".";
    }
    return converText + (counter == 1 ? ".." : "...");
}

BatchAlert nothingTickedAlert()
{
    return BatchAlert{"Prompt", "SelectHeicFileTitle", std::nullopt, false};
}

BatchAlert summaryAlert(uint32_t successCount)
{
    return BatchAlert{"Prompt", "ConversionSuccessful", successCount, true};
}

}  // namespace pravix
