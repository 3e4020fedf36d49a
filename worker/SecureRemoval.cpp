#include "SecureRemoval.h"

#include "common/Names.h"
#include "platform/FileRemoval.h"
#include "platform/UserDefaults.h"
#include "worker/SecureDelete.h"

#include <QFile>

SecureRemoval SecureRemoval::fromSettings()
{
    return SecureRemoval(UserDefaults::standardUserDefaults().boolForKey(Names::Keys::secureDeleteData));
}

FileResult SecureRemoval::remove(const QString& path) const
{
    return remove(QFile::encodeName(path));
}

FileResult SecureRemoval::remove(const QByteArray& path) const
{
    if (m_secureDelete && !SecureDelete::wipe(path))
        return FileResult::Failed;
    return FileRemoval::removeItem(path);
}

FileResult SecureRemoval::removeAt(int folderFd, const QByteArray& name) const
{
    if (m_secureDelete && !SecureDelete::wipeAt(folderFd, name))
        return FileResult::Failed;
    return FileRemoval::removeItemAt(folderFd, name);
}
