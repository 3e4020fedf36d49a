#pragma once

#include <QString>

// Whether this process can show windows, asked before the GUI application object exists (its
// construction ends the process when no display answers).
namespace DesktopSession {

// Empty when a display server of the session accepts connections, or when Qt is told to draw
// without one (an offscreen platform); otherwise a sentence saying what is missing.
[[nodiscard]] QString unavailableReason();

} // namespace DesktopSession
