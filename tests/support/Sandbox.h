#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

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
} // namespace BuiltSuite
