#pragma once

#include "CodedSampleEntryBox.h"
#include "HevcConfigurationBox.h"

// 'hvc1' sample entry (also read from 'hev1', whose type it keeps): the visual fields, the 'hvcC' decoder
// configuration and optional coding constraints.
class HevcSampleEntry : public CodedSampleEntryBox
{
public:
    HevcSampleEntry();
    ~HevcSampleEntry() override = default;

    HevcConfigurationBox& getHevcConfigurationBox() { return mHevcConfigurationBox; }
    const HevcConfigurationBox& getHevcConfigurationBox() const { return mHevcConfigurationBox; }

protected:
    Box& getDecoderConfigurationBox() override { return mHevcConfigurationBox; }

private:
    HevcConfigurationBox mHevcConfigurationBox;
};
