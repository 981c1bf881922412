#include "NSLanguage.h"

#include "AppResources.h"
#include "ClientProfile.h"
#include "TextReading.h"
#include "UserDefaults.h"

#include <QLocale>

#include <array>
#include <utility>

namespace pravix
{
namespace
{

const QString kLanguageKey = QStringLiteral("Language_Key");
const QString kAppLanguageKey = QStringLiteral("AppLanguage");

// Table of each code 0 to 23; Hebrew (19) has none and is shown in the system's (English) texts.
constexpr std::array<const char*, 24> kTables = {
    "en", "cn", "tr", "jp", "ko", "de", "ru", "ar", "pt", "es", "fr", "id",
    "tr", "it", "nl", "cy", "cz", "dk", "hu", nullptr, "md", "pl", "se", "tk",
};

struct SystemIds
{
    LanguageCode code;
    const char* ids[3];  // unused places are null
};

// The system ids of each language, in the order they are tried.
const SystemIds kSystemIds[] = {
    {3, {"ja", "jpn", "ja-CN"}}, {4, {"ko", "ko-KR", "ko-CN"}}, {5, {"de", "de-DE"}}, {6, {"ru"}},
    {7, {"ar", "ar-CN"}},        {8, {"pt", "Portugal", "pt-PT"}}, {9, {"es"}},     {10, {"fr"}},
    {11, {"id"}},                {15, {"el"}},                  {16, {"cs"}},        {17, {"da"}},
    {18, {"hu"}},                {19, {"he", "he-CN"}},         {13, {"it"}},        {20, {"ro"}},
    {14, {"nl"}},                {21, {"pl"}},                  {22, {"sv"}},        {23, {"tr"}},
};

bool hasOwnTable(LanguageCode code)
{
    return code >= 0 && code < static_cast<LanguageCode>(kTables.size()) && kTables[code] != nullptr;
}

}  // namespace

LanguageCode languageCodeForPreferredLanguages(const QStringList& preferred)
{
    if (preferred.isEmpty()) {
        return 0;
    }
    const QString& id = preferred.first();
    if (id == u"zh" || id == u"zh-Hans" || id == u"zh-Hans-CN") {
        return 1;
    }
    if (id == u"zh-Hant-TW") {
        return 12;
    }
    if (id == u"zh-Hant-HK" || id == u"zh-Hant-MO") {
        return 2;
    }
    const QStringList parts = id.split(u'-');
    const QString cut = parts.size() < 3 ? parts.first() : parts[0] + u'-' + parts[1];
    for (const SystemIds& language : kSystemIds) {
        for (const char* systemId : language.ids) {
            if (systemId && cut == QLatin1String(systemId)) {
                return language.code;
            }
        }
    }
    return 0;
}

QString platformLanguageId(const QString& id)
{
    const QStringList parts = id.split(u'-');
    // Only "zh-<region>": a second part of four letters is a script already ("zh-Hant").
    if (parts.size() != 2 || parts[0] != u"zh" || parts[1].size() < 2 || parts[1].size() > 3) {
        return id;
    }
    const QLocale locale(id);
    if (locale.language() != QLocale::Chinese) {
        return id;
    }
    const QString script = locale.script() == QLocale::TraditionalHanScript ? QStringLiteral("Hant")
                                                                            : QStringLiteral("Hans");
    return parts[0] + u'-' + script + u'-' + parts[1];
}

QStringList systemPreferredLanguages()
{
    QStringList languages = QLocale::system().uiLanguages();
    if (!languages.isEmpty()) {
        languages.first() = platformLanguageId(languages.first());
    }
    return languages;
}

QString stringsTableForCode(LanguageCode code, LanguageCode systemCode)
{
    if (hasOwnTable(code)) {
        return QLatin1String(kTables[code]);
    }
    return QLatin1String(hasOwnTable(systemCode) && systemCode != 0 ? kTables[systemCode] : "en");
}

int directionForCode(LanguageCode code, LanguageCode systemCode)
{
    const auto rightToLeft = [](LanguageCode c) { return c == 7 || c == 19; };
    if (rightToLeft(code)) {
        return 1;
    }
    return code == kLanguageFollowsSystem && rightToLeft(systemCode) ? 1 : 0;
}

NSLanguage::NSLanguage(Environment environment)
    : environment_(std::move(environment))
{
    LanguageCode code = 1;
    if (environment_.international) {
        const QString stored = userDefaults().value(kLanguageKey).toString();
        code = stored.isEmpty() ? SysLanguage() : readInteger(stored);
    }
    setLanguage(code);
}

NSLanguage& NSLanguage::shareInstance()
{
    static NSLanguage language = [] {
        initAppResources();
        Environment environment;
        environment.international = ClientProfile::shared().International();
        environment.preferredLanguages = systemPreferredLanguages;
        return NSLanguage(std::move(environment));
    }();
    return language;
}

void NSLanguage::setLanguage(LanguageCode code)
{
    language_ = code;
    QSettings settings = userDefaults();
    settings.setValue(kLanguageKey, QString::number(code));
    settings.setValue(kAppLanguageKey, stringsTableForCode(code, SysLanguage()));
    settings.sync();
}

LanguageCode NSLanguage::SysLanguage() const
{
    return languageCodeForPreferredLanguages(environment_.preferredLanguages ? environment_.preferredLanguages()
                                                                             : QStringList());
}

QString NSLanguage::LanguageStrings() const
{
    return userDefaults().value(kAppLanguageKey).toString();
}

int NSLanguage::Direction() const
{
    return directionForCode(language_, SysLanguage());
}

QString NSLanguage::text(const QString& key) const
{
    const StringsTable& strings = table(LanguageStrings());
    return strings.contains(key) ? strings.value(key) : key;
}

const StringsTable& NSLanguage::table(const QString& name) const
{
    auto found = tables_.find(name);
    if (found == tables_.end()) {
        found = tables_.insert(name, StringsTable::load(name));
    }
    return *found;
}

QString localizedText(const QString& key)
{
    return NSLanguage::shareInstance().text(key);
}

}  // namespace pravix
