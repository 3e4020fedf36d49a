#pragma once

#include "platform/FileResult.h"

// An open file descriptor, closed when the object goes; -1 when nothing is open, and then result()
// says why.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd), m_result(fd >= 0 ? FileResult::Done : FileResult::Failed) {}
    // Nothing open, for the reason given.
    explicit FileDescriptor(FileResult why) : m_result(why) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    [[nodiscard]] int get() const { return m_fd; }
    // Done while open; otherwise how the open ended.
    [[nodiscard]] FileResult result() const { return m_result; }
    // Closes now; false when the close itself failed.
    bool close();

private:
    int m_fd = -1;
    FileResult m_result = FileResult::NothingThere;
};
