#pragma once

#include <QString>

// Whether Qt will find a display to start on. Qt aborts when its platform cannot connect, so the
// agent asks first, before it creates its application object.
namespace DisplayCheck {

// Empty when a display can be reached (or another platform was chosen with QT_QPA_PLATFORM);
// otherwise why not, for the user.
QString missingDisplay();

} // namespace DisplayCheck
