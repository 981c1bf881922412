#pragma once

#include "Box.h"
#include "LayeredHevcDecoderConfigRecord.h"

// 'lhvC': the decoder configuration of a layered HEVC image item.
class LayeredHevcConfigurationItemProperty : public Box
{
public:
    LayeredHevcConfigurationItemProperty();
    ~LayeredHevcConfigurationItemProperty() override = default;

    LayeredHevcDecoderConfigRecord getConfiguration() const { return mConfig; }
    void setConfiguration(const LayeredHevcDecoderConfigRecord& config) { mConfig = config; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    LayeredHevcDecoderConfigRecord mConfig;
};
