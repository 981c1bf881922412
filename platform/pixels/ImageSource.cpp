#include "ImageSource.h"

namespace pravix
{

ImageSource::~ImageSource() = default;

}  // namespace pravix
