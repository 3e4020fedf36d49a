#pragma once

#include "worker/SecureRemoval.h"

#include <leveldb/env.h>

// LevelDB's default environment, except that every file LevelDB discards (logs replayed into
// tables, tables merged by a compaction, old manifests) goes by the secure-removal rule: with secure
// deletion on it is overwritten first and stays when that fails (LevelDB removes it on a later open).
class SecureLevelDbEnv : public leveldb::EnvWrapper
{
public:
    explicit SecureLevelDbEnv(SecureRemoval removal);

    leveldb::Status RemoveFile(const std::string& fname) override;

private:
    SecureRemoval m_removal;
};
