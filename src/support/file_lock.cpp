#include "support/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

filelockclass::~filelockclass() { Release(); }

filelockclass::Result filelockclass::TryLock(const std::string& path) {
  Release();
  error_ = 0;
  // A holder removes the file while it still holds the lock, so a lock taken
  // on a file that is no longer at the path is a lock on nothing: try again
  // on the file that is there now. Each round follows a release by another
  // holder, so a few rounds are plenty.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
      error_ = errno;
      return Result::Failed;
    }
    struct stat opened;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      error_ = errno != 0 ? errno : EEXIST;
      ::close(fd);
      return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) return Result::Busy;
      error_ = error;
      return Result::Failed;
    }
    struct stat now;
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == opened.st_dev &&
        now.st_ino == opened.st_ino) {
      fd_ = fd;
      path_ = path;
      return Result::Locked;
    }
    ::close(fd);
  }
  return Result::Busy;
}

void filelockclass::Release() {
  if (fd_ < 0) return;
  // Removed while still held: whoever opens the name afterwards gets a new
  // file, and whoever opened the old one finds it gone and tries again.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}
