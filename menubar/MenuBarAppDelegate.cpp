#include "MenuBarAppDelegate.h"

void MenuBarAppDelegate::applicationDidFinishLaunching() {}
