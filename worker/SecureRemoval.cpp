#include "SecureRemoval.h"

#include "common/Names.h"
#include "platform/UserDefaults.h"
#include "worker/FileRemoval.h"
#include "worker/SecureDelete.h"

#include <QFile>

SecureRemoval SecureRemoval::fromSettings()
{
    return SecureRemoval(UserDefaults::standardUserDefaults().boolForKey(Names::Keys::secureDeleteData));
}

bool SecureRemoval::remove(const QString& path) const
{
    return remove(QFile::encodeName(path));
}

bool SecureRemoval::remove(const QByteArray& path) const
{
    if (m_secureDelete && !SecureDelete::wipe(path))
        return false;
    return FileRemoval::removeItem(path);
}

bool SecureRemoval::removeAt(int folderFd, const QByteArray& name) const
{
    if (m_secureDelete && !SecureDelete::wipeAt(folderFd, name))
        return false;
    return FileRemoval::removeItemAt(folderFd, name);
}
