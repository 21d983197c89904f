#pragma once
// A file descriptor owned for a scope: closed when the owner ends, however it ends.

#include <unistd.h>

namespace rb
{

class FileDescriptor
{
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; } // -1 when the open it came from failed

  private:
    int fd_;
};

} // namespace rb
