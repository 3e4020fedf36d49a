#include "SecureLevelDbEnv.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

class PreadFile : public leveldb::RandomAccessFile
{
public:
    PreadFile(std::string name, int fd) : m_name(std::move(name)), m_fd(fd) {}
    ~PreadFile() override { ::close(m_fd); }
    PreadFile(const PreadFile&) = delete;
    PreadFile& operator=(const PreadFile&) = delete;

    leveldb::Status Read(uint64_t offset, size_t n, leveldb::Slice* result, char* scratch) const override
    {
        size_t done = 0;
        while (done < n) {
            const ssize_t count = ::pread(m_fd, scratch + done, n - done, static_cast<off_t>(offset + done));
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0) {
                *result = leveldb::Slice(scratch, 0);
                return leveldb::Status::IOError(m_name, std::strerror(errno));
            }
            if (count == 0)
                break; // the end of the file: LevelDB checks the length itself
            done += static_cast<size_t>(count);
        }
        *result = leveldb::Slice(scratch, done);
        return leveldb::Status::OK();
    }

private:
    std::string m_name;
    int m_fd;
};

} // namespace

SecureLevelDbEnv::SecureLevelDbEnv(SecureRemoval removal)
    : leveldb::EnvWrapper(leveldb::Env::Default()), m_removal(removal)
{
}

leveldb::Status SecureLevelDbEnv::RemoveFile(const std::string& fname)
{
    if (!m_removal.secureDelete())
        return target()->RemoveFile(fname);
    if (!isSettled(m_removal.remove(QByteArray::fromStdString(fname))))
        return leveldb::Status::IOError(fname, "could not be overwritten and removed");
    return leveldb::Status::OK();
}

leveldb::Status SecureLevelDbEnv::NewRandomAccessFile(const std::string& fname,
                                                      leveldb::RandomAccessFile** result)
{
    *result = nullptr;
    const int fd = ::open(fname.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? leveldb::Status::NotFound(fname, std::strerror(errno))
                               : leveldb::Status::IOError(fname, std::strerror(errno));
    *result = new PreadFile(fname, fd);
    return leveldb::Status::OK();
}
