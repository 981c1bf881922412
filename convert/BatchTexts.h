#pragma once

// What the batch shows, as keys of the strings table (the window looks them up): the Start/Stop
// button per state, the progress dots of the row being converted, and the two alerts.

#include <cstdint>
#include <optional>
#include <string>

namespace pravix
{

// Idle: no worker. Converting: a worker runs and no stop was asked. Stopping: a stop was asked and
// the worker has not yet returned (it finishes the entry it is converting).
enum class BatchPhase
{
    Idle,
    Converting,
    Stopping,
};

// The Start/Stop button: title key and image name; its text colour is white in every state.
struct ButtonLook
{
    std::string titleKey;
    std::string imageName;
};

// Idle "Conversion"/"ToBt", Converting "Stop"/"StopToBt", Stopping "Stoping" (spelled so) with the
// image it had.
ButtonLook buttonLook(BatchPhase phase);

// The progress counter of the timer: 1, 2, 3, 0, 1, ...
uint32_t nextProgressCounter(uint32_t counter);
// The "conver" text with one dot for 0, two for 1, three for 2 and 3.
std::string progressTitle(const std::string& converText, uint32_t counter);

// An informational alert: message and informative text are keys; `count` fills the informative
// text's number when it has one. A sheet on the window, or modal.
struct BatchAlert
{
    std::string messageKey;
    std::string informativeKey;
    std::optional<uint32_t> count;
    bool sheet = false;
};

// Start with entries none of which is ticked: "Prompt"/"SelectHeicFileTitle", modal.
BatchAlert nothingTickedAlert();
// After the last entry: "Prompt"/"ConversionSuccessful" with the count of converted entries, a sheet.
BatchAlert summaryAlert(uint32_t successCount);

}  // namespace pravix
