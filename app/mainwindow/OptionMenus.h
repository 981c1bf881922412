#pragma once

#include <QStringList>

namespace pravix
{

// The three option menus of the main window; an item's index is its tag.

// Output type: "JPG", "PNG", "BMP", "JPEG", "TIFF". The title is also the output extension.
QStringList outFileTypeTitles();
// Scale and quality: "10%", "20%", ... "100%".
QStringList percentTitles();

// Every start begins with JPG, 100 % and 70 % (the options are not stored).
constexpr int kDefaultOutFileTypeTag = 0;
constexpr int kDefaultImageSizeTag = 9;
constexpr int kDefaultImageQualityTag = 6;

}  // namespace pravix
