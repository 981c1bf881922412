#include "LayeredHevcConfigurationItemProperty.h"

LayeredHevcConfigurationItemProperty::LayeredHevcConfigurationItemProperty()
    : DecoderConfigurationBox(FourCCInt("lhvC"))
{
}
