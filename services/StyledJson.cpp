#include "StyledJson.h"

#include <json/writer.h>

namespace pravix
{

std::string StyledJsonText(const Json::Value& value)
{
    // Json::Value::toStyledString in this JsonCpp writes tabs and another array layout; the older
    // StyledWriter keeps the one the servers expect, however JsonCpp marks it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::StyledWriter writer;
    return writer.write(value);
#pragma GCC diagnostic pop
}

} // namespace pravix
