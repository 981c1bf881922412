#pragma once

#include <QString>

#include <memory>

class QTranslator;

namespace pravix
{

// Qt's own texts in the interface language: the file and folder dialogs (their buttons, "Look in",
// "File name", column titles), the standard buttons and the text fields' context menus. They come
// from Qt's translations (Debian's qt6-translations-l10n) for the language of the interface's
// strings table, installed on the application in place of the one before. Where Qt has no
// translation (Indonesian, Greek, Romanian), and for English and the English table that Hebrew
// uses, Qt's own English stays.
//
// Main thread only, while the application object lives. One object for the program; destroying it
// removes its translation.
class QtTranslations
{
public:
    // Qt's translations folder by default.
    explicit QtTranslations(QString folder = QString());
    ~QtTranslations();
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    // Installs Qt's translation for the strings table `stringsTable` ("de", "cn", ...), replacing
    // the one installed; true when there is one (false: Qt's English).
    bool apply(const QString& stringsTable);
    // The locale whose translation is installed ("de", "zh_CN", ...); empty while Qt's English shows.
    const QString& localeName() const { return locale_; }

    // The locale of Qt's translation files for a strings table: "cn" "zh_CN", "tr" "zh_TW", "jp"
    // "ja", "pt" "pt_BR" (the table is Brazilian), "cy" "el", "cz" "cs", "dk" "da", "md" "ro", "se"
    // "sv", "tk" "tr", most others their own name; empty for "en" and any table not known.
    static QString qtLocaleName(const QString& stringsTable);

private:
    QString folder_;
    QString locale_;
    std::unique_ptr<QTranslator> translator_;
};

}  // namespace pravix
