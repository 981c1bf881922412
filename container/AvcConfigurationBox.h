#pragma once

#include "AvcDecoderConfigRecord.h"
#include "Box.h"

// 'avcC': the box that carries an AvcDecoderConfigRecord.
class AvcConfigurationBox : public Box
{
public:
    AvcConfigurationBox();
    ~AvcConfigurationBox() override = default;

    AvcDecoderConfigRecord& getConfiguration() { return mConfig; }
    const AvcDecoderConfigRecord& getConfiguration() const { return mConfig; }
    void setConfiguration(const AvcDecoderConfigRecord& config) { mConfig = config; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    AvcDecoderConfigRecord mConfig;
};
