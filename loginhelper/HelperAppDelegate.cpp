#include "HelperAppDelegate.h"

void HelperAppDelegate::applicationDidFinishLaunching() {}
