#include "LockHolder.h"

#include <QFile>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

LockHolder::LockHolder(const QString& path)
{
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return;
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    const QByteArray file = QFile::encodeName(path);
    m_child = fork();
    if (m_child == 0) {
        // Only async-signal-safe calls between fork and _exit.
        close(ready[0]);
        close(release[1]);
        const int fd = open(file.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const char status = fd >= 0 && fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
        (void)write(ready[1], &status, 1);
        char byte;
        (void)read(release[0], &byte, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    m_release = release[1];
    char status = 'n';
    m_locked = m_child > 0 && read(ready[0], &status, 1) == 1 && status == 'y';
    close(ready[0]);
}

LockHolder::~LockHolder()
{
    if (m_release >= 0)
        close(m_release);
    if (m_child > 0)
        (void)waitpid(m_child, nullptr, 0);
}
