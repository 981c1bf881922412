#pragma once

#include "StringsTable.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace pravix
{

// An interface language: 10001 follows the system, 0 to 23 name one (0 English, 1 simplified
// Chinese, 2 and 12 traditional Chinese, 3 Japanese, ... 19 Hebrew, 23 Turkish).
using LanguageCode = int;
constexpr LanguageCode kLanguageFollowsSystem = 10001;

// The language code of a list of preferred language ids (BCP 47, first entry counts): the whole
// ids "zh", "zh-Hans", "zh-Hans-CN" give 1, "zh-Hant-TW" 12, "zh-Hant-HK" and "zh-Hant-MO" 2;
// otherwise the id cut to its first part (or first two parts when it has three or more) is looked
// up in the languages' id lists; none, or an empty list, gives 0.
LanguageCode languageCodeForPreferredLanguages(const QStringList& preferred);

// A language id in the form the language rules expect: Chinese with its script written out
// ("zh-CN" becomes "zh-Hans-CN", "zh-TW" "zh-Hant-TW"), as the desktop platforms that name
// preferred languages that way do; every other id as it is. Qt names a Chinese system "zh-CN".
QString platformLanguageId(const QString& id);

// The system's preferred languages (QLocale::system().uiLanguages()), the first in that form.
QStringList systemPreferredLanguages();

// The strings table of a code: its own for 0 to 23 but 19; for any other code that of the system
// code, and "en" when the system code has no table of its own.
QString stringsTableForCode(LanguageCode code, LanguageCode systemCode);

// 1 (right to left) when the code is Arabic (7) or Hebrew (19), or when it is 10001 and the
// system code is one of them; else 0.
int directionForCode(LanguageCode code, LanguageCode systemCode);

// The current interface language, kept in the user settings ("Language_Key", "AppLanguage"), and
// the look-up of every text the windows show. Main thread only (the tables are cached on use).
class NSLanguage
{
public:
    struct Environment
    {
        bool international = true;                       // the market flag of ClientProfile
        std::function<QStringList()> preferredLanguages;  // the system's preferred languages
    };

    // Start value: the Chinese market starts in simplified Chinese every time; the international
    // market takes "Language_Key" when it holds a text, else the system's language. Both keys are
    // written again.
    explicit NSLanguage(Environment environment);

    // The one instance of the program, with the market of ClientProfile::shared() and the
    // system's languages from QLocale::system().uiLanguages().
    static NSLanguage& shareInstance();

    LanguageCode Language() const { return language_; }
    // Stores the code and writes "Language_Key" (the code as decimal text) and "AppLanguage" (its
    // table name). Touches no window.
    void setLanguage(LanguageCode code);
    LanguageCode SysLanguage() const;
    // The table name read back from "AppLanguage"; empty when it is missing.
    QString LanguageStrings() const;
    int Direction() const;

    // The text of `key` in the current table; a key the table lacks is shown as itself.
    QString text(const QString& key) const;

private:
    const StringsTable& table(const QString& name) const;

    Environment environment_;
    LanguageCode language_ = 0;
    mutable QHash<QString, StringsTable> tables_;
};

// NSLanguage::shareInstance().text(key): what every window calls.
QString localizedText(const QString& key);

}  // namespace pravix
