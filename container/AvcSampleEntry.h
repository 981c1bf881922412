#pragma once

#include "AvcConfigurationBox.h"
#include "CodedSampleEntryBox.h"

// 'avc1' sample entry: the visual fields, the 'avcC' decoder
// configuration and optional coding constraints.
class AvcSampleEntry : public CodedSampleEntryBox
{
public:
    AvcSampleEntry();
    ~AvcSampleEntry() override = default;

    AvcConfigurationBox& getAvcConfigurationBox() { return mAvcConfigurationBox; }
    const AvcConfigurationBox& getAvcConfigurationBox() const { return mAvcConfigurationBox; }

protected:
    Box& getDecoderConfigurationBox() override { return mAvcConfigurationBox; }

private:
    AvcConfigurationBox mAvcConfigurationBox;
};
