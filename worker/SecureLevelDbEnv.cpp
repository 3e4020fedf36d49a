#include "SecureLevelDbEnv.h"

#include <QByteArray>

SecureLevelDbEnv::SecureLevelDbEnv(SecureRemoval removal)
    : leveldb::EnvWrapper(leveldb::Env::Default()), m_removal(removal)
{
}

leveldb::Status SecureLevelDbEnv::RemoveFile(const std::string& fname)
{
    if (!m_removal.secureDelete())
        return target()->RemoveFile(fname);
    if (!m_removal.remove(QByteArray::fromStdString(fname)))
        return leveldb::Status::IOError(fname, "could not be overwritten and removed");
    return leveldb::Status::OK();
}
