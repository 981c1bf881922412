#include "QtTranslations.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace pravix
{

QtTranslations::QtTranslations(QString folder)
    : folder_(folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : std::move(folder))
{
    // Qt turns the whole application right to left when a right-to-left translation comes in and
    // no direction was ever set. Every window here takes its direction from the interface language
    // itself and mirrors only what should be mirrored; the application's own stays as it was.
    QGuiApplication::setLayoutDirection(Qt::LeftToRight);
}

QtTranslations::~QtTranslations()
{
    if (translator_ && QCoreApplication::instance() != nullptr) {
        QCoreApplication::removeTranslator(translator_.get());
    }
}

QString QtTranslations::qtLocaleName(const QString& stringsTable)
{
    static const QHash<QString, QString> locales = {
        {QStringLiteral("cn"), QStringLiteral("zh_CN")}, {QStringLiteral("tr"), QStringLiteral("zh_TW")},
        {QStringLiteral("jp"), QStringLiteral("ja")},    {QStringLiteral("ko"), QStringLiteral("ko")},
        {QStringLiteral("de"), QStringLiteral("de")},    {QStringLiteral("ru"), QStringLiteral("ru")},
        {QStringLiteral("ar"), QStringLiteral("ar")},    {QStringLiteral("pt"), QStringLiteral("pt_BR")},
        {QStringLiteral("es"), QStringLiteral("es")},    {QStringLiteral("fr"), QStringLiteral("fr")},
        {QStringLiteral("id"), QStringLiteral("id")},    {QStringLiteral("it"), QStringLiteral("it")},
        {QStringLiteral("nl"), QStringLiteral("nl")},    {QStringLiteral("cy"), QStringLiteral("el")},
        {QStringLiteral("cz"), QStringLiteral("cs")},    {QStringLiteral("dk"), QStringLiteral("da")},
        {QStringLiteral("hu"), QStringLiteral("hu")},    {QStringLiteral("md"), QStringLiteral("ro")},
        {QStringLiteral("pl"), QStringLiteral("pl")},    {QStringLiteral("se"), QStringLiteral("sv")},
        {QStringLiteral("tk"), QStringLiteral("tr")},
    };
    return locales.value(stringsTable);
}

bool QtTranslations::apply(const QString& stringsTable)
{
    const QString locale = qtLocaleName(stringsTable);
    if (translator_ && locale == locale_) {
        return true;
    }
    if (translator_) {
        QCoreApplication::removeTranslator(translator_.get());
        translator_.reset();
    }
    locale_.clear();
    if (locale.isEmpty()) {
        return false;
    }
    auto translator = std::make_unique<QTranslator>();
    // Qt's base texts; a language with none there may still have an older catalog of all of Qt's
    // texts (Swedish).
    const QLocale qtLocale(locale);
    if (!translator->load(qtLocale, QStringLiteral("qtbase"), QStringLiteral("_"), folder_) &&
        !translator->load(qtLocale, QStringLiteral("qt"), QStringLiteral("_"), folder_)) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
    locale_ = locale;
    return true;
}

}  // namespace pravix
