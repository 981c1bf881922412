#pragma once

#include <QString>

namespace pravix
{

// The addresses and ids that belong to a deployment rather than to the program. Every default
// comes from a CMake cache variable (see DeploymentConfig.cmake); no host is compiled in unless the
// build names one, and an exchange whose server is empty is skipped with one log line.
//
// Servers that the program talks to over plain HTTP hold their scheme: "http://stats.example.org".
// A value given without a scheme gets "http://". The website host is a bare host name: the About
// window shows it as it stands and opens "https://" followed by it.
struct DeploymentConfig
{
    QString statisticsServerInternational;  // statistics pings (GET), international edition
    QString statisticsServerChina;          // statistics pings (GET), Chinese-market edition
    QString productIdInternational;         // product id of the pings
    QString productIdChina;
    QString actionServerInternational;      // encrypted statistics records (POST)
    QString actionServerChina;
    int appIdInternational = 16;            // application id of the statistics records
    int appIdChina = 25;
    QString updateServer;                   // version record, the same server for both editions
    QString chatPageInternational;          // customer-service chat page (a whole address)
    QString chatPageChina;
    QString websiteHost;                    // the maker's website, bare host
    QString uploadKey;                      // public key of the crash-file upload service

    // The values this build was configured with.
    static const DeploymentConfig& build();

    QString statisticsServer(bool international) const;
    QString productId(bool international) const;
    QString actionServer(bool international) const;
    int appId(bool international) const;
    QString chatPage(bool international) const;
};

// "http://" + value when the value names no scheme; an empty value stays empty.
QString withDefaultScheme(const QString& server);

// The address of `pathAndQuery` (which starts with "/") on `server`; a "/" ending the server is
// dropped so that the two join with one.
QString serverAddress(const QString& server, const QString& pathAndQuery);

// True when `server` is set; otherwise writes one log line saying that `exchange` is skipped.
bool serverConfigured(const QString& server, const QString& exchange);

}  // namespace pravix
