#include "Names.h"

namespace Names {

QStringList Notifications::all()
{
    return {toggleVeltraneRunStatus, updateVeltraneRunStatus, veltraneOpenedFromMenu,
            veltraneOpenedAboutFromMenu};
}

QStringList Browsers::all()
{
    return {safari, webKit, googleChrome, chromium, camino, firefox, opera};
}

} // namespace Names
