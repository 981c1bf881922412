#include "DeploymentConfig.h"

#include "DeploymentValues.h"

#include <iostream>

namespace pravix
{

const DeploymentConfig& DeploymentConfig::build()
{
    static const DeploymentConfig config = [] {
        DeploymentConfig c;
        c.statisticsServerInternational = withDefaultScheme(QStringLiteral(PRAVIX_DEPLOY_STATISTICS_SERVER_INTERNATIONAL));
        c.statisticsServerChina = withDefaultScheme(QStringLiteral(PRAVIX_DEPLOY_STATISTICS_SERVER_CHINA));
        c.productIdInternational = QStringLiteral(PRAVIX_DEPLOY_PRODUCT_ID_INTERNATIONAL);
        c.productIdChina = QStringLiteral(PRAVIX_DEPLOY_PRODUCT_ID_CHINA);
        c.actionServerInternational = withDefaultScheme(QStringLiteral(PRAVIX_DEPLOY_ACTION_SERVER_INTERNATIONAL));
        c.actionServerChina = withDefaultScheme(QStringLiteral(PRAVIX_DEPLOY_ACTION_SERVER_CHINA));
        c.appIdInternational = PRAVIX_DEPLOY_APP_ID_INTERNATIONAL;
        c.appIdChina = PRAVIX_DEPLOY_APP_ID_CHINA;
        c.updateServer = withDefaultScheme(QStringLiteral(PRAVIX_DEPLOY_UPDATE_SERVER));
        c.chatPageInternational = QStringLiteral(PRAVIX_DEPLOY_CHAT_PAGE_INTERNATIONAL);
        c.chatPageChina = QStringLiteral(PRAVIX_DEPLOY_CHAT_PAGE_CHINA);
        c.websiteHost = QStringLiteral(PRAVIX_DEPLOY_WEBSITE_HOST);
        c.uploadKey = QStringLiteral(PRAVIX_DEPLOY_UPLOAD_KEY);
        return c;
    }();
    return config;
}

QString DeploymentConfig::statisticsServer(bool international) const
{
    return international ? statisticsServerInternational : statisticsServerChina;
}

QString DeploymentConfig::productId(bool international) const
{
    return international ? productIdInternational : productIdChina;
}

QString DeploymentConfig::actionServer(bool international) const
{
    return international ? actionServerInternational : actionServerChina;
}

int DeploymentConfig::appId(bool international) const
{
    return international ? appIdInternational : appIdChina;
}

QString DeploymentConfig::chatPage(bool international) const
{
    return international ? chatPageInternational : chatPageChina;
}

QString withDefaultScheme(const QString& server)
{
    const QString trimmed = server.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1String("://"))) {
        return trimmed;
    }
    return QStringLiteral("http://") + trimmed;
}

QString serverAddress(const QString& server, const QString& pathAndQuery)
{
    QString base = server.trimmed();
    while (base.endsWith(u'/')) {
        base.chop(1);
    }
    return base + pathAndQuery;
}

bool serverConfigured(const QString& server, const QString& exchange)
{
    if (!server.trimmed().isEmpty()) {
        return true;
    }
    std::cout << "【日志】" << exchange.toUtf8().constData() << ": no server configured, skipped" << std::endl;
    return false;
}

}  // namespace pravix
