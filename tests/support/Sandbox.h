#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

// A private home and system root for one test case: HOME and VELTRANE_ROOT point into a fresh
// temporary folder, which is kept when the case fails so that it can be read afterwards.
class Sandbox
{
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    [[nodiscard]] bool isValid() const { return m_dir.isValid(); }
    [[nodiscard]] QString home() const { return m_home; }
    [[nodiscard]] QString root() const { return m_root; }
    // `relative` under the sandbox home ("Library/Cookies" -> "<home>/Library/Cookies").
    [[nodiscard]] QString homePath(const QString& relative) const;
    [[nodiscard]] QString rootPath(const QString& relative) const;

    // The environment for programs started by the test: this sandbox's HOME and VELTRANE_ROOT.
    [[nodiscard]] QProcessEnvironment environment() const;

    // Writes `contents` to a file under the home, creating its folders.
    bool writeFile(const QString& relative, const QByteArray& contents) const;

    // Writes the shared preferences domain file as another program of the suite would.
    bool writeDefaults(const QVariantMap& values) const;
    // The shared domain file as stored now; empty when missing or not a property list.
    [[nodiscard]] QVariantMap readDefaults() const;

private:
    QTemporaryDir m_dir;
    QString m_home;
    QString m_root;
    QByteArray m_oldHome;
    QByteArray m_oldRoot;
};

// Paths of the built suite.
namespace BuiltSuite {
QString bundle(); // Veltrane.app
QString workerBundle();
QString daemonBundle();
QString sourceDir();
// The program inside a bundle ("<bundle>/Contents/MacOS/<name>").
QString executable(const QString& bundlePath);

struct Run
{
    bool finished = false; // false: killed after the time-out
    int exitCode = -1;
    QByteArray output; // standard output and error together
};

// Runs a program with the sandbox's environment and keeps this process's event loop turning while it
// runs, so that services the test owns on the bus (a notification recorder) can answer it.
Run runProgram(const QString& program, const QStringList& arguments, const Sandbox& sandbox,
               int timeoutMs = 60000);
} // namespace BuiltSuite
