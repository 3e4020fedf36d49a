#pragma once

#include "worker/KeepList.h"

#include <QString>
#include <QStringView>

#include <optional>

// The web origins by which today's browsers name their per-site stores: "scheme://host[:port]",
// possibly followed by a partition ("/^0https://top.example", Chromium) or by origin attributes
// ("^userContextId=2", Firefox). A store is judged by the site of its own origin only.
namespace SiteOrigin {

// The origin itself, without what follows it ("https://a.com/^0https://b.com" -> "https://a.com").
[[nodiscard]] QString ownOrigin(QStringView serialized);

// The host of an http or https origin; nullopt for other schemes (extensions, files, the browser's
// own pages) and for text that does not parse as an origin: such stores are never removed.
[[nodiscard]] std::optional<QString> webHost(QStringView serialized);

// True when the serialized origin is a web origin whose site the keep list does not hold.
[[nodiscard]] bool isRemoved(QStringView serialized, const KeepList& keep);

} // namespace SiteOrigin
