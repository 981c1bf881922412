#pragma once

#include <QString>

namespace pravix
{

// The stored output place of the main window (the option menus are not stored) and the folders
// it starts from.
class OutputPlaceSettings
{
public:
    // "SaveHEICPathKey" read as a boolean; absent: beside the source files.
    static bool saveBesideSource();
    // Writes "SaveHEICPathKey" as the text "1" (beside the sources) or "0" (custom folder).
    static void setSaveBesideSource(bool beside);
    // "SavePathKey": the custom output folder; empty when unset.
    static QString customFolder();
    static void setCustomFolder(const QString& folder);
    // The folder the window shows at start: the stored one when it is a non-empty text, else the
    // user's Downloads folder (made when missing), else empty.
    static QString initialCustomFolder();
    // The program's cache folder, XDG cache + "/.Pravix", made when missing; empty when the
    // system names no cache folder.
    static QString cachePath();
};

}  // namespace pravix
