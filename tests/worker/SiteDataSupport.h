#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// What the site-data tests share: the browsers' own data shipped in tests/data/sitedata, a lock held
// by another process, a LevelDB read whole, and the real browsers where they are installed.
namespace SiteDataSupport {

// Unpacks tests/data/sitedata/<name> into `folder`.
[[nodiscard]] bool unpack(const QString& name, const QString& folder);

// Every key and value of a LevelDB database; nullopt when it does not open cleanly.
[[nodiscard]] std::optional<QMap<QByteArray, QByteArray>> readLevelDb(const QString& folder);

// The concatenated bytes of every file in a folder (not below it).
[[nodiscard]] QByteArray folderBytes(const QString& folder);

// A helper process (this test program, started again) that holds an fcntl lock on a file while this
// object lives.
class HeldLock
{
public:
    explicit HeldLock(std::unique_ptr<QProcess> process) : m_process(std::move(process)) {}
    ~HeldLock();
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    std::unique_ptr<QProcess> m_process;
};

// Locks `path`; null when the lock could not be taken.
[[nodiscard]] std::unique_ptr<HeldLock> holdLock(const QString& path);

// Runs the helper mode of the test program, "--hold-lock PATH". Returns the exit status, or nullopt
// when the arguments name no helper mode.
[[nodiscard]] std::optional<int> runHelper(int argc, char* argv[]);

// tools/sitedata/browse.py with a real browser ("chromium" or "firefox"); the reason to skip when
// the browser or python3 is missing is left in `skip`.
[[nodiscard]] bool browserAvailable(const QString& browser, QString* skip);
[[nodiscard]] std::optional<QByteArray> browse(const QString& mode, const QString& browser,
                                               const QString& profile);

} // namespace SiteDataSupport

// A main() that serves the helper modes before it runs the test class.
#define SITEDATA_TEST_MAIN(TestClass)                                                                        \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        if (const auto status = SiteDataSupport::runHelper(argc, argv))                                      \
            return *status;                                                                                  \
        QCoreApplication application(argc, argv);                                                            \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
