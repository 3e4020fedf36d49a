#include "PreferencesFile.h"

#include "platform/PropertyList.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>

namespace {

// Holds the domain's lock file exclusively for its lifetime. The lock lives in its own file because
// the property list itself is replaced by rename on every write.
class DomainLock
{
public:
    explicit DomainLock(const QString& plistPath)
    {
        const QByteArray lockPath = QFile::encodeName(plistPath + QStringLiteral(".lock"));
        m_fd = open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0)
            return;
        while (flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~DomainLock()
    {
        if (m_fd >= 0)
            close(m_fd); // releases the lock
    }
    DomainLock(const DomainLock&) = delete;
    DomainLock& operator=(const DomainLock&) = delete;
    [[nodiscard]] bool isHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += written;
    }
    return true;
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, so that readers see either
// the old or the new file, never a part of one. Returns the new file, still open, or -1.
int replaceFile(const QString& path, const QByteArray& bytes)
{
    QByteArray temporary = QFile::encodeName(path + QStringLiteral(".XXXXXX"));
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (!writeAll(fd, bytes) || fchmod(fd, 0600) != 0 || fsync(fd) != 0 ||
        rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        unlink(temporary.constData());
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

PreferencesFile::Stamp::Stamp(const struct stat& info)
    : exists(true), device(info.st_dev), inode(info.st_ino), size(info.st_size),
      modifiedNs(static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec)
{
}

PreferencesFile::PreferencesFile(QString path) : m_path(std::move(path)) {}

PreferencesFile::~PreferencesFile()
{
    if (m_heldFd >= 0)
        close(m_heldFd);
}

PreferencesFile::Stamp PreferencesFile::stampNow() const
{
    struct stat info;
    if (stat(QFile::encodeName(m_path).constData(), &info) != 0)
        return {};
    return Stamp(info);
}

void PreferencesFile::hold(int fd) const
{
    if (m_heldFd >= 0)
        close(m_heldFd);
    m_heldFd = fd;
    struct stat info;
    m_seen = fd >= 0 && fstat(fd, &info) == 0 ? Stamp(info) : Stamp();
}

bool PreferencesFile::changedOnDisk() const
{
    return !(stampNow() == m_seen);
}

std::optional<QVariantMap> PreferencesFile::read() const
{
    const int fd = open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        hold(-1);
        if (missing)
            return QVariantMap();
        return std::nullopt;
    }
    // The stamp is taken from the open file, so it describes exactly the bytes read below.
    hold(fd);
    const auto result = PropertyList::readOpenFile(fd);
    if (result.status == PropertyList::ReadStatus::Unreadable) {
        hold(-1);
        return std::nullopt;
    }
    return result.status == PropertyList::ReadStatus::Ok ? result.value.toMap() : QVariantMap();
}

bool PreferencesFile::moveCorruptFileAside() const
{
    const QString aside = m_path + QStringLiteral(".corrupt-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
    return rename(QFile::encodeName(m_path).constData(), QFile::encodeName(aside).constData()) == 0;
}

std::optional<QVariantMap> PreferencesFile::write(const QVariantMap& changes)
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return std::nullopt;
    const DomainLock lock(m_path);
    if (!lock.isHeld())
        return std::nullopt;

    // Only a file that was read and found corrupt is moved aside; one that merely could not be read
    // may hold the user's settings and is left as it is.
    const auto current = PropertyList::readFile(m_path);
    QVariantMap values;
    switch (current.status) {
    case PropertyList::ReadStatus::Unreadable:
        return std::nullopt;
    case PropertyList::ReadStatus::Malformed:
        if (!moveCorruptFileAside())
            return std::nullopt;
        break;
    case PropertyList::ReadStatus::Ok:
        if (current.value.typeId() != QMetaType::QVariantMap && !moveCorruptFileAside())
            return std::nullopt;
        values = current.value.toMap();
        break;
    case PropertyList::ReadStatus::Missing:
        break;
    }

    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (!it.value().isValid())
            values.remove(it.key());
        else
            values.insert(it.key(), it.value());
    }
    const QByteArray bytes = PropertyList::toXml(values);
    if (bytes.isEmpty())
        return std::nullopt;
    const int written = replaceFile(m_path, bytes);
    if (written < 0)
        return std::nullopt;
    hold(written);
    return values;
}
