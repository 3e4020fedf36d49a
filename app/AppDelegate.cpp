#include "AppDelegate.h"

void AppDelegate::applicationDidFinishLaunching() {}
