#pragma once

#include <QObject>

// Placeholder delegate: the program starts, waits for its quit request and ends.
class HelperAppDelegate : public QObject
{
    Q_OBJECT

public:
    void applicationDidFinishLaunching();
};
