#include "HevcConfigurationBox.h"

HevcConfigurationBox::HevcConfigurationBox() : DecoderConfigurationBox(FourCCInt("hvcC")) {}
