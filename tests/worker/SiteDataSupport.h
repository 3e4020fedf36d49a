#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// What the site-data tests share: the browsers' own data shipped in tests/data/sitedata, a LevelDB
// read whole, and the real browsers where they are installed.
namespace SiteDataSupport {

// Unpacks tests/data/sitedata/<name> into `folder`.
[[nodiscard]] bool unpack(const QString& name, const QString& folder);

// Every key and value of a LevelDB database; nullopt when it does not open cleanly.
[[nodiscard]] std::optional<QMap<QByteArray, QByteArray>> readLevelDb(const QString& folder);

// The concatenated bytes of every file in a folder (not below it).
[[nodiscard]] QByteArray folderBytes(const QString& folder);

// tools/sitedata/browse.py with a real browser ("chromium" or "firefox"); the reason to skip when
// the browser or python3 is missing is left in `skip`.
[[nodiscard]] bool browserAvailable(const QString& browser, QString* skip);
[[nodiscard]] std::optional<QByteArray> browse(const QString& mode, const QString& browser,
                                               const QString& profile);

// What a browser's pages saw after a pass (browse() in "read" mode), checked against the shipped
// pages: all of the favourite 127.0.0.1's local storage, IndexedDB and file system, none of the other sites'
// (an iframe's partitioned storage included). Empty when so; otherwise the first difference.
[[nodiscard]] QString favouriteOnlyMismatch(const QByteArray& report);

} // namespace SiteDataSupport
