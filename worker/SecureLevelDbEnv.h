#pragma once

#include "worker/SecureRemoval.h"

#include <leveldb/env.h>

// The environment in which the worker opens LevelDB databases: LevelDB's default one, except that
// - every file LevelDB discards (logs replayed into tables, tables merged by a compaction, old
//   manifests) goes by the secure-removal rule: with secure deletion on it is overwritten first, and
//   stays when that fails (LevelDB removes it on a later open);
// - tables are read with pread() rather than mapped, so that the worker's memory does not grow with
//   the size of the database it reads through.
class SecureLevelDbEnv : public leveldb::EnvWrapper
{
public:
    explicit SecureLevelDbEnv(SecureRemoval removal);

    leveldb::Status RemoveFile(const std::string& fname) override;
    leveldb::Status NewRandomAccessFile(const std::string& fname,
                                        leveldb::RandomAccessFile** result) override;

private:
    SecureRemoval m_removal;
};
