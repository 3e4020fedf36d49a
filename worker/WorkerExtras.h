#pragma once

#include "platform/Keychain.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

// Why a keychain query failed: domain "com.orvando.Veltrane", code the keychain's status.
struct KeychainError
{
    QString domain;
    int code = 0;
};

// The keychain queries for internet passwords, and the reduction of a host to its site name.
class WorkerExtras
{
public:
    WorkerExtras() = delete;

    struct Query
    {
        QString service; // empty: any
        QString account; // empty: any
    };

    // The account records of all internet passwords; nullopt on failure, with `error` set if given.
    [[nodiscard]] static std::optional<QList<QVariantMap>> allAccounts(KeychainError* error = nullptr);
    [[nodiscard]] static std::optional<QList<QVariantMap>> accountsForService(const QString& service,
                                                                              KeychainError* error = nullptr);
    [[nodiscard]] static Query queryForService(const QString& service, const QString& account);

    // The lower-case registrable part of a host, cookie domain or URL text; nullopt for a null
    // string, for local files and for names starting with "^".
    [[nodiscard]] static std::optional<QString> siteWithDomainName(const QString& domainName);
};
