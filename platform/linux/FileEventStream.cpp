#include "platform/FileEventStream.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every change of a folder's entries and of the folder itself. IN_MASK_ADD keeps both masks when a
// folder is at once a parent of a missing path and part of a tree.
constexpr uint32_t treeMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                              IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK |
                              IN_MASK_ADD;

// A parent of a missing path only waits for the next folder on the way to appear, or for its own removal.
constexpr uint32_t parentMask =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;

// One read of the descriptor is one batch; a large buffer folds a flood of events into few batches.
constexpr size_t batchBufferSize = 64 * 1024;

// How often watching a missing path's parent is tried again while the folders on its way keep appearing.
constexpr int maximumParentAttempts = 32;

bool isDirectory(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isDirectoryEntry(int folder, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type == DT_DIR;
    struct stat info = {};
    return ::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

// The sub-folders of `folder`, opened without following a link in its place; links among them are left out.
QStringList subfolders(const QString& folder, int openFlags)
{
    QStringList result;
    const int descriptor =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | openFlags);
    if (descriptor < 0)
        return result;
    DIR* listing = ::fdopendir(descriptor);
    if (listing == nullptr) {
        ::close(descriptor);
        return result;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        if (isDirectoryEntry(descriptor, *entry))
            result.append(folder + QLatin1Char('/') + QFile::decodeName(name));
    }
    ::closedir(listing);
    return result;
}

QString childPath(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

std::unique_ptr<FileEventStream> FileEventStream::create(Callback callback, const QStringList& paths)
{
    const int descriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descriptor < 0)
        return nullptr;
    QStringList cleanPaths;
    for (const QString& path : paths)
        cleanPaths.append(QDir::cleanPath(path));
    return std::unique_ptr<FileEventStream>(new FileEventStream(descriptor, std::move(callback), cleanPaths));
}

FileEventStream::FileEventStream(int descriptor, Callback callback, QStringList paths)
    : m_descriptor(descriptor), m_callback(std::move(callback)), m_paths(std::move(paths))
{
}

FileEventStream::~FileEventStream()
{
    invalidate();
}

void FileEventStream::scheduleWithRunLoop()
{
    if (m_descriptor < 0 || m_notifier)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Read);
    m_notifier->setEnabled(m_started);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readBatch(); });
}

void FileEventStream::unscheduleFromRunLoop()
{
    m_notifier.reset();
}

bool FileEventStream::start()
{
    if (m_descriptor < 0)
        return false;
    if (!m_started) {
        watchAll();
        m_started = true;
    }
    if (m_notifier)
        m_notifier->setEnabled(true);
    return true;
}

void FileEventStream::stop()
{
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (!m_started)
        return;
    unwatchAll();
    m_started = false;
}

void FileEventStream::invalidate()
{
    stop();
    unscheduleFromRunLoop();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    m_descriptor = -1;
}

void FileEventStream::readBatch()
{
    alignas(inotify_event) char buffer[batchBufferSize];
    const ssize_t length = ::read(m_descriptor, buffer, sizeof buffer);
    if (length <= 0) {
        // A descriptor that fails for good would wake the loop forever: give it up instead.
        if (length == 0 || (errno != EAGAIN && errno != EINTR))
            m_notifier->setEnabled(false);
        return;
    }

    bool changed = false;
    bool rewatch = false;
    QStringList newFolders;
    for (ssize_t offset = 0; offset < length;) {
        inotify_event event = {};
        std::memcpy(&event, buffer + offset, sizeof event);
        const QString name = event.len > 0 ? QFile::decodeName(buffer + offset + sizeof event) : QString();
        offset += static_cast<ssize_t>(sizeof event + event.len);

        if (event.mask & IN_Q_OVERFLOW) {
            // Events were lost, new folders among them: build every watch again.
            changed = rewatch = true;
            continue;
        }
        const auto folder = m_folders.find(event.wd);
        if (folder == m_folders.end())
            continue; // a watch given up earlier; its last events still arrive
        if (!isInWatchedTree(*folder)) {
            if ((event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) ||
                leadsToMissingPath(*folder, name))
                rewatch = true;
            continue;
        }
        changed = true;
        const bool isWatchedPath = m_watchedPaths.contains(*folder);
        if (event.mask & IN_IGNORED) {
            m_folders.erase(folder);
            rewatch = rewatch || isWatchedPath;
        } else if ((isWatchedPath && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF))) ||
                   (event.mask & IN_UNMOUNT)) {
            rewatch = true;
        } else if ((event.mask & IN_ISDIR) && (event.mask & (IN_MOVED_FROM | IN_MOVED_TO))) {
            // The watches below a moved folder still carry its old path.
            rewatch = true;
        } else if ((event.mask & IN_ISDIR) && (event.mask & IN_CREATE)) {
            newFolders.append(childPath(*folder, name));
        }
    }

    if (rewatch) {
        const QStringList before = m_watchedPaths;
        unwatchAll();
        watchAll();
        changed = changed || m_watchedPaths != before;
    } else {
        for (const QString& folder : std::as_const(newFolders))
            watchTree(folder, Links::DontFollow);
    }
    if (changed && m_callback)
        m_callback();
}

void FileEventStream::watchAll()
{
    m_watchedPaths.clear();
    for (const QString& path : std::as_const(m_paths)) {
        // A folder on the way may appear between looking for it and watching its parent: look again.
        for (int attempt = 0; attempt < maximumParentAttempts; ++attempt) {
            if (isDirectory(path)) {
                m_watchedPaths.append(path);
                watchTree(path, Links::Follow);
                break;
            }
            if (watchNearestExistingParent(path))
                break;
        }
    }
}

void FileEventStream::unwatchAll()
{
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it)
        ::inotify_rm_watch(m_descriptor, it.key());
    m_folders.clear();
    m_watchedPaths.clear();
}

void FileEventStream::watchTree(const QString& folder, Links links)
{
    // The watched path itself may be a link (an "/Applications" that points elsewhere); nothing below it is
    // followed.
    QList<std::pair<QString, Links>> pending{{folder, links}};
    while (!pending.isEmpty()) {
        const auto [path, pathLinks] = pending.takeLast();
        const uint32_t followFlag = pathLinks == Links::Follow ? 0 : IN_DONT_FOLLOW;
        const int watch =
            ::inotify_add_watch(m_descriptor, QFile::encodeName(path).constData(), treeMask | followFlag);
        if (watch < 0)
            continue; // unreadable, vanished, or out of watches: what cannot be seen is skipped
        m_folders.insert(watch, path);
        const int openFlags = pathLinks == Links::Follow ? 0 : O_NOFOLLOW;
        for (const QString& subfolder : subfolders(path, openFlags))
            pending.append({subfolder, Links::DontFollow});
    }
}

bool FileEventStream::watchNearestExistingParent(const QString& path)
{
    QString next = path;
    QString parent = QFileInfo(next).absolutePath();
    while (!isDirectory(parent) && parent != QLatin1String("/")) {
        next = parent;
        parent = QFileInfo(parent).absolutePath();
    }
    const int watch = ::inotify_add_watch(m_descriptor, QFile::encodeName(parent).constData(), parentMask);
    if (watch >= 0 && !m_folders.contains(watch))
        m_folders.insert(watch, parent);
    // Settled unless the next folder on the way appeared before the watch was in place.
    return !isDirectory(next);
}

bool FileEventStream::isInWatchedTree(const QString& folder) const
{
    for (const QString& path : m_watchedPaths) {
        if (folder == path || folder.startsWith(childPath(path, QString())))
            return true;
    }
    return false;
}

bool FileEventStream::leadsToMissingPath(const QString& folder, const QString& name) const
{
    const QString created = childPath(folder, name);
    for (const QString& path : m_paths) {
        if (m_watchedPaths.contains(path))
            continue;
        if (path == created || path.startsWith(childPath(created, QString())))
            return true;
    }
    return false;
}
