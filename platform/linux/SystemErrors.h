#pragma once

#include "platform/FileResult.h"

#include <cerrno>

// The kind of a failed system call's error number.
[[nodiscard]] inline FileResult resultOfError(int error)
{
    switch (error) {
    case ENOENT:
        return FileResult::NothingThere;
    case ELOOP:   // a link where O_NOFOLLOW allows none
    case ENOTDIR: // a link or a file where a folder was to be
        return FileResult::Refused;
    default:
        return FileResult::Failed;
    }
}
