#include "AvcConfigurationBox.h"

AvcConfigurationBox::AvcConfigurationBox() : DecoderConfigurationBox(FourCCInt("avcC")) {}
