#pragma once

#include "worker/BrowserLocations.h"

#include <QStringList>

#include <optional>

// The sites of the web-form passwords that browsers keep in their own profiles. Only the plain
// address columns are read; nothing encrypted is. Each reader gives nullopt when its store exists
// but cannot be read (corrupt, locked, another format), so that the pass keeps every site.
namespace BrowserLogins {

// Every saved-login store of the profile's family found in the profile folder.
[[nodiscard]] std::optional<QStringList> sitesOfProfile(const BrowserProfile& profile);

// Chrome family "Login Data": rows of `logins` saved from a web form (scheme 0) that are not
// "never save" entries; the site of the host of origin_url, or of signon_realm.
[[nodiscard]] std::optional<QStringList> chromeLoginData(const QString& path);
// Firefox "logins.json": `hostname` of every login without an HTTP realm.
[[nodiscard]] std::optional<QStringList> firefoxLoginsJson(const QString& path);
// Firefox "logins.db": the origins of its local logins that are not deleted and of its mirror that
// no local change overrides, without an HTTP realm.
[[nodiscard]] std::optional<QStringList> firefoxLoginsDb(const QString& path);
// Firefox "signons.sqlite": every `hostname` of moz_logins, reduced as stored.
[[nodiscard]] std::optional<QStringList> firefoxSignons(const QString& path);

} // namespace BrowserLogins
