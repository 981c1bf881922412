#pragma once

#include "NSPravixData.h"

namespace pravix
{

// What the list's cells tell the main window. The entry is the row's element of the list; after
// DeleteEvent the window may remove it (the cells touch it no more).
class NSTableCellDeleteViewDelegate
{
public:
    virtual void DeleteEvent(NSPravixData& data) = 0;
    virtual void PreViewEvent(NSPravixData& data) = 0;
    // A row's tick changed (the entry already holds the new state).
    virtual void SelectEvent() = 0;

protected:
    ~NSTableCellDeleteViewDelegate() = default;
};

}  // namespace pravix
