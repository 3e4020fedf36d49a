#pragma once

#include <QObject>

// The login helper: at login it starts the watcher daemon and the menu-bar agent as the settings say,
// or else opens the main application, then quits on the next turn of the event loop.
class HelperAppDelegate : public QObject
{
    Q_OBJECT

public:
    // Attaches the shared preferences domain.
    void awakeFromNib();
    // The whole decision, then the quit request.
    void applicationDidFinishLaunching();
};
