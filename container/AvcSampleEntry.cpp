#include "AvcSampleEntry.h"

AvcSampleEntry::AvcSampleEntry() : CodedSampleEntryBox(FourCCInt("avc1"), "AVC Coding", "AvcSampleEntry") {}
