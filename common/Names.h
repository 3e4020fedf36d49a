#pragma once

#include <QLatin1StringView>
#include <QStringList>

// The names through which the five programs cooperate: the shared preferences domain and its keys,
// the broadcast and in-process notifications, launch arguments, bundle identifiers and the bundle layout.
// They are part of the stored files and of the messages between processes: never rename one.
namespace Names {

inline constexpr QLatin1StringView suiteName{"com.orvando.Veltrane"};

namespace Keys {
inline constexpr QLatin1StringView isRunning{"isRunning"};
inline constexpr QLatin1StringView showInMenuBar{"showInMenuBar"};
inline constexpr QLatin1StringView openAtLogin{"openAtLogin"};
inline constexpr QLatin1StringView removeAll{"removeAll"};
inline constexpr QLatin1StringView displayNotifications{"displayNotifications"};
inline constexpr QLatin1StringView secureDeleteData{"secureDeleteData"};
inline constexpr QLatin1StringView enabledBrowsersArray{"enabledBrowsersArray"};
} // namespace Keys

// Broadcasts between processes.
namespace Notifications {
inline constexpr QLatin1StringView toggleVeltraneRunStatus{"toggleVeltraneRunStatus"};
inline constexpr QLatin1StringView updateVeltraneRunStatus{"updateVeltraneRunStatus"};
inline constexpr QLatin1StringView veltraneOpenedFromMenu{"veltraneOpenedFromMenu"};
inline constexpr QLatin1StringView veltraneOpenedAboutFromMenu{"veltraneOpenedAboutFromMenu"};
QStringList all();
} // namespace Notifications

// User-info keys of the broadcasts.
namespace UserInfo {
inline constexpr QLatin1StringView enabled{"enabled"};
}

// Notifications that never leave their process.
namespace LocalNotifications {
inline constexpr QLatin1StringView releaseWindow{"releaseWindow"};
inline constexpr QLatin1StringView browserInstallCheck{"browserInstallCheck"};
} // namespace LocalNotifications

namespace Arguments {
inline constexpr QLatin1StringView openedFromMenu{"openedFromMenu"};
inline constexpr QLatin1StringView openedAboutFromMenu{"openedAboutFromMenu"};
} // namespace Arguments

// The seven browser names a worker accepts, in the order it tests them.
namespace Browsers {
inline constexpr QLatin1StringView safari{"Safari"};
inline constexpr QLatin1StringView webKit{"WebKit"};
inline constexpr QLatin1StringView googleChrome{"Google Chrome"};
inline constexpr QLatin1StringView chromium{"Chromium"};
inline constexpr QLatin1StringView camino{"Camino"};
inline constexpr QLatin1StringView firefox{"Firefox"};
inline constexpr QLatin1StringView opera{"Opera"};
QStringList all();
} // namespace Browsers

namespace BundleIdentifiers {
inline constexpr QLatin1StringView application{"com.orvando.Veltrane"};
inline constexpr QLatin1StringView daemon{"com.orvando.VeltraneDaemon"};
inline constexpr QLatin1StringView menuBar{"com.orvando.VeltraneMenuBar"};
inline constexpr QLatin1StringView worker{"com.orvando.VeltraneWorker"};
} // namespace BundleIdentifiers

// Bundle paths relative to the main application bundle.
namespace BundlePaths {
inline constexpr QLatin1StringView daemon{"Contents/Resources/VeltraneDaemon.app"};
inline constexpr QLatin1StringView menuBar{"Contents/Resources/VeltraneMenuBar.app"};
inline constexpr QLatin1StringView worker{"Contents/Resources/VeltraneWorker.app"};
inline constexpr QLatin1StringView loginHelper{"Contents/Library/LoginItems/VeltraneHelper.app"};
inline constexpr QLatin1StringView workerBundleName{"VeltraneWorker.app"};
inline constexpr QLatin1StringView daemonBundleName{"VeltraneDaemon.app"};
inline constexpr QLatin1StringView menuBarBundleName{"VeltraneMenuBar.app"};
inline constexpr QLatin1StringView defaultsResource{"Contents/Resources/Defaults.plist"};
} // namespace BundlePaths

} // namespace Names
