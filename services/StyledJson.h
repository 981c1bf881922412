#pragma once

// JsonCpp's styled text of a value: members in ascending byte order of their names, 3-space
// indentation, short arrays of plain values on one line, non-ASCII escaped, a line feed at the end.
// The statistics servers read this exact layout.

#include <json/value.h>

#include <string>

namespace pravix
{

std::string StyledJsonText(const Json::Value& value);

} // namespace pravix
