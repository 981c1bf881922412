#pragma once

#include "Box.h"
#include "HevcDecoderConfigRecord.h"

// 'hvcC': the box that carries an HevcDecoderConfigRecord.
class HevcConfigurationBox : public Box
{
public:
    HevcConfigurationBox();
    ~HevcConfigurationBox() override = default;

    HevcDecoderConfigRecord& getConfiguration() { return mConfig; }
    const HevcDecoderConfigRecord& getConfiguration() const { return mConfig; }
    void setConfiguration(const HevcDecoderConfigRecord& config) { mConfig = config; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    HevcDecoderConfigRecord mConfig;
};
