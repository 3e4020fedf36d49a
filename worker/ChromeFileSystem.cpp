#include "ChromeFileSystem.h"

#include "platform/DirectoryListing.h"
#include "worker/BrowserFolders.h"
#include "worker/ChromeSiteData.h"
#include "worker/LevelDbEdit.h"
#include "worker/SiteOrigin.h"

#include <QFile>

#include <leveldb/db.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string_view>

namespace {

constexpr std::string_view originPrefix = "ORIGIN:";
// The browser's counter of the folders it handed out; kept, so no folder name is ever reused.
constexpr std::string_view lastPathKey = "LAST_PATH";

// The browser names the folders with decimal digits only; anything else could lead elsewhere.
bool isFolderName(std::string_view value)
{
    return !value.empty() &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

qint64 ChromeFileSystem::clean(const QString& folder, const KeepList& keep, const SecureRemoval& removal)
{
    if (keep.keepsEverySite)
        return 0;
    const FileDescriptor folderFd = DirectoryListing::openFolder(QFile::encodeName(folder));
    if (!folderFd.isOpen())
        return 0;
    qint64 removed = 0;
    // The folders go while the database is open, and so locked against the browser; the entries of
    // the folders that went are then deleted.
    (void)LevelDbEdit::run(
        BrowserFolders::appending(folder, QStringLiteral("Origins")), std::string(lastPathKey), removal,
        [&](leveldb::DB& db) {
            std::optional<LevelDbEdit::Deletions> deletions;
            leveldb::ReadOptions options;
            options.fill_cache = false;
            options.verify_checksums = true;
            std::unique_ptr<leveldb::Iterator> it(db.NewIterator(options));
            std::vector<std::pair<std::string, std::string>> selected; // key, folder
            std::set<std::string> keptFolders;
            for (it->Seek(std::string(originPrefix));
                 it->Valid() && it->key().starts_with(std::string(originPrefix)); it->Next()) {
                const std::string_view value = LevelDbEdit::view(it->value());
                if (!isFolderName(value))
                    return deletions;
                const auto identifier =
                    LevelDbEdit::utf8Text(LevelDbEdit::view(it->key()).substr(originPrefix.size()));
                const auto origin =
                    identifier ? ChromeSiteData::originOfIdentifier(*identifier) : std::nullopt;
                if (origin && SiteOrigin::isRemoved(*origin, keep))
                    selected.emplace_back(it->key().ToString(), std::string(value));
                else
                    keptFolders.emplace(value);
            }
            if (!it->status().ok())
                return deletions;
            LevelDbEdit::Deletions entries;
            for (const auto& [key, name] : selected) {
                // A folder that a kept entry names too is not the removed origin's alone; a link in
                // place of a folder is no store of the browser's.
                const QByteArray folderName = QByteArray::fromStdString(name);
                const auto type = DirectoryListing::typeAt(folderFd.get(), folderName);
                if (keptFolders.contains(name) || (type && *type != DirectoryEntry::Type::Directory) ||
                    !isSettled(removal.removeAt(folderFd.get(), folderName)))
                    continue;
                entries.keys.push_back(key);
                ++removed;
            }
            deletions = std::move(entries);
            return deletions;
        });
    return removed;
}
