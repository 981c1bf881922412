#pragma once

#include "BatchTexts.h"

namespace pravix
{

// What the batch needs of the window. Every call comes on the thread that owns the list (the GUI
// thread), from BatchConversion.
class BatchView
{
public:
    virtual ~BatchView() = default;

    // The list's entries changed: redraw the rows.
    virtual void reloadTable() = 0;
    // The Start/Stop button's title and image (text colour white).
    virtual void setPravixButton(const ButtonLook& look) = 0;
    // Locks (false) or unlocks (true) the controls as controlStates() says, and starts or stops the
    // 1-second timer that calls BatchConversion::UpdateStateTimerEvent.
    virtual void ToBtState(bool idle) = 0;
    virtual void showAlert(const BatchAlert& alert) = 0;
};

}  // namespace pravix
