#pragma once

#include "worker/BrowserLocations.h"

// Tells whether a browser still uses a profile, by the browser's own locks, so that a pass never
// edits the files of a browser that runs. A profile in use is left whole; the next quit cleans it.
namespace RunningBrowserGuard {

// Chrome family: the location's "SingletonLock" names a process of this host that is alive, or a
// process of another host (which cannot be checked from here), or the profile's local-storage
// LevelDB lock is held. Mozilla family: the profile's ".parentlock" is locked.
[[nodiscard]] bool isInUse(const BrowserLocation& location, const BrowserProfile& profile);

} // namespace RunningBrowserGuard
