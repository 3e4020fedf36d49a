#pragma once

// How one operation on a file-system item ended, told apart so that a caller can treat "nothing
// there" differently from "could not".
enum class FileResult
{
    Done,         // removed, overwritten or opened as asked
    NothingThere, // no item at the path, or a folder on the way is missing
    Refused,      // left alone on purpose: a link on the way or in place of the item, a file with
                  // other names, an item that is not a plain file or folder, a name that leaves its folder
    Failed        // the system did not do it: no permission, an I/O error, a full disk, a failed sync
};

// True when nothing of the item is left to deal with: it was dealt with, or was never there.
[[nodiscard]] constexpr bool isSettled(FileResult result)
{
    return result == FileResult::Done || result == FileResult::NothingThere;
}
