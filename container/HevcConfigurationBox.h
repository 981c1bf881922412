#pragma once

#include "DecoderConfigurationBox.h"
#include "HevcDecoderConfigRecord.h"

// 'hvcC': the box that carries an HevcDecoderConfigRecord.
class HevcConfigurationBox : public DecoderConfigurationBox<HevcDecoderConfigRecord>
{
public:
    HevcConfigurationBox();
    ~HevcConfigurationBox() override = default;

    HevcDecoderConfigRecord& getConfiguration() { return mConfig; }
    const HevcDecoderConfigRecord& getConfiguration() const { return mConfig; }
    void setConfiguration(const HevcDecoderConfigRecord& config) { mConfig = config; }
};
