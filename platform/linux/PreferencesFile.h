#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

#include <sys/stat.h>
#include <sys/types.h>

// One domain's property-list file, shared by several processes. Reads never write; a write locks
// the domain, re-reads the file, applies only its own changes and replaces the file atomically.
class PreferencesFile
{
public:
    explicit PreferencesFile(QString path);
    ~PreferencesFile();
    PreferencesFile(const PreferencesFile&) = delete;
    PreferencesFile& operator=(const PreferencesFile&) = delete;

    // The stored values; empty when the file is missing or corrupt, nullopt when it is there but
    // cannot be read (the caller keeps what it had, and the next read tries again).
    [[nodiscard]] std::optional<QVariantMap> read() const;

    // True when the file changed on disk since the last read() or write() through this object.
    [[nodiscard]] bool changedOnDisk() const;

    // Applies `changes` (a null QVariant removes its key) on top of what is stored now.
    // A corrupt file is moved aside, never deleted. Returns the values as written, or nullopt.
    [[nodiscard]] std::optional<QVariantMap> write(const QVariantMap& changes);

    [[nodiscard]] QString path() const { return m_path; }

private:
    struct Stamp
    {
        Stamp() = default;
        explicit Stamp(const struct stat& info);
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    [[nodiscard]] Stamp stampNow() const;
    // Makes `fd` the file last seen. Keeping it open means its inode number cannot be given to a
    // later replacement, so an equal stamp always means the same file.
    void hold(int fd) const;
    bool moveCorruptFileAside() const;

    QString m_path;
    mutable Stamp m_seen;
    mutable int m_heldFd = -1;
};
