#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

// The user's store of saved passwords, read for the attributes of its internet passwords only:
// never a secret, and never a prompt to unlock.
namespace Keychain {

// Status codes of a query, as the password store of the Mac reports them.
enum class Status : int
{
    success = 0,
    // Nothing matched, or no password store runs in this session at all.
    itemNotFound = -25300,
    // There is no session to ask.
    notAvailable = -25291,
    // Some items are locked, and unlocking would need the user.
    interactionNotAllowed = -25308,
    // The store did not answer, or answered with an error.
    failed = -25293,
};

struct InternetPasswords
{
    Status status = Status::failed;
    // One record per item, keyed by the four-letter attribute codes ("srvr", "atyp", "acct",
    // "labl", "cdat", "mdat", "svce").
    QList<QVariantMap> items;
};

// Every internet password, narrowed to a service and an account where they are not empty.
[[nodiscard]] InternetPasswords copyInternetPasswords(const QString& service, const QString& account);

} // namespace Keychain
