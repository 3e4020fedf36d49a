#pragma once

#include "platform/FileEventStream.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// The browser watcher: starts one cleaning worker for every browser that quits, and keeps the list
// of installed browsers in the shared domain current. Everything runs on the main thread's event loop.
class DaemonAppDelegate : public QObject
{
    Q_OBJECT

public:
    DaemonAppDelegate() = default;
    ~DaemonAppDelegate() override;

    void awakeFromNib();
    void applicationDidFinishLaunching();
    // Creates and starts the stream on the application folders, once per process.
    void watchApplicationsFolder();
    // The bundle identifiers of the installed browsers, in probe order.
    [[nodiscard]] QStringList checkForInstalledBrowsers() const;
    // Publishes checkForInstalledBrowsers() as enabledBrowsersArray and flushes it, every time.
    void updateEnabledBrowsers();
    void appTerminated(const QString& applicationName, const QString& bundleIdentifier);

    [[nodiscard]] FileEventStream* _applicationstream() const { return m_applicationstream.get(); }
    void set_applicationstream(std::unique_ptr<FileEventStream> stream);

private:
    std::unique_ptr<FileEventStream> m_applicationstream;
};
