#pragma once

#include <QSettings>

namespace pravix
{

// The user's settings of the program: QSettings of organisation and application "Pravix", keys
// as the windows and services name them ("Partner", "Language_Key", "SavePathKey", ...). One
// object per use; objects on different threads see each other's writes.
QSettings userDefaults();

}  // namespace pravix
