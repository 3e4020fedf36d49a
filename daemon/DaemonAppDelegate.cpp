#include "DaemonAppDelegate.h"

void DaemonAppDelegate::applicationDidFinishLaunching() {}
