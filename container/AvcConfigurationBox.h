#pragma once

#include "AvcDecoderConfigRecord.h"
#include "DecoderConfigurationBox.h"

// 'avcC': the box that carries an AvcDecoderConfigRecord.
class AvcConfigurationBox : public DecoderConfigurationBox<AvcDecoderConfigRecord>
{
public:
    AvcConfigurationBox();
    ~AvcConfigurationBox() override = default;

    AvcDecoderConfigRecord& getConfiguration() { return mConfig; }
    const AvcDecoderConfigRecord& getConfiguration() const { return mConfig; }
    void setConfiguration(const AvcDecoderConfigRecord& config) { mConfig = config; }
};
