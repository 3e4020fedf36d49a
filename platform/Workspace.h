#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

// An application of the current user: its main process and the bundle it runs from.
struct RunningApplication
{
    qint64 processIdentifier = 0;
    QString bundleIdentifier;
    QString localizedName;
    QString bundlePath;
};

class TerminationWatch;

// How a started application meets the user. With the default options it comes to the front: it
// inherits the desktop's activation token where this process was given one. Without activation it
// starts in the background and never takes the focus.
enum class LaunchOptions
{
    Default,
    WithoutActivation,
};

// Running applications, launching and stopping them, and the registry of installed applications.
class Workspace : public QObject
{
    Q_OBJECT

public:
    static Workspace& sharedWorkspace();

    // False where this process cannot list the running applications.
    [[nodiscard]] bool canListRunningApplications() const;
    [[nodiscard]] QList<RunningApplication> runningApplications() const;

    // Starts the bundle's executable detached (no zombie, own process group, clean signal mask)
    // with `arguments` after the program path. False when it could not be started.
    bool launchApplicationAtPath(const QString& bundlePath, const QStringList& arguments,
                                 LaunchOptions options = LaunchOptions::Default);

    // The polite quit request; returns at once. False when the process no longer runs the application.
    bool terminate(const RunningApplication& application);

    // Where an application with this bundle identifier is installed (a bundle directly in the
    // system's or the user's Applications folder, or a browser's program); empty when nowhere.
    [[nodiscard]] QString absolutePathForAppBundleWithIdentifier(const QString& bundleIdentifier) const;

    // Starts watching for applications that terminate (didTerminateApplication); once is enough.
    // Needs the application object, whose event loop delivers the signal.
    void startObservingTerminations();

Q_SIGNALS:
    void didTerminateApplication(const QString& applicationName, const QString& bundleIdentifier);

private:
    Workspace() = default;

    QPointer<TerminationWatch> m_terminationWatch;
};
