#pragma once

#include "DecoderConfigurationBox.h"
#include "LayeredHevcDecoderConfigRecord.h"

// 'lhvC': the decoder configuration of a layered HEVC image item.
class LayeredHevcConfigurationItemProperty : public DecoderConfigurationBox<LayeredHevcDecoderConfigRecord>
{
public:
    LayeredHevcConfigurationItemProperty();
    ~LayeredHevcConfigurationItemProperty() override = default;

    LayeredHevcDecoderConfigRecord getConfiguration() const { return mConfig; }
    void setConfiguration(const LayeredHevcDecoderConfigRecord& config) { mConfig = config; }
};
