#pragma once

#include <string>

#include "FullBox.h"

// 'hdlr': the handler type of a meta box or a track.
class HandlerBox : public FullBox
{
public:
    HandlerBox();
    ~HandlerBox() override = default;

    void setHandlerType(const std::string& handlerType) { mHandlerType = handlerType; }
    const std::string& getHandlerType() const { return mHandlerType; }
    void setName(const std::string& name) { mName = name; }
    const std::string& getName() const { return mName; }

    void writeBox(BitStream& bitstr) override;
    void parseBox(BitStream& bitstr) override;

private:
    std::string mHandlerType;
    std::string mName;
};
