#include "HevcSampleEntry.h"

HevcSampleEntry::HevcSampleEntry() : CodedSampleEntryBox(FourCCInt("hvc1"), "HEVC Coding", "HevcSampleEntry") {}
