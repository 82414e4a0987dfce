#include "support/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "support/platform_file.h"

std::string SingleInstanceLockPath(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && FolderExists(runtime)) {
    return std::string(runtime) + "/Protect_" + name;
  }
  // /tmp is shared by every user: the user id keeps the locks apart.
  return "/tmp/Protect_" + name + "-" + std::to_string(static_cast<long>(getuid()));
}

singleinstancelockclass::~singleinstancelockclass() {
  if (fd_ >= 0) close(fd_);  // closing the last descriptor frees the lock
}

bool singleinstancelockclass::Acquire(const std::string& name) {
  if (fd_ >= 0) return true;
  path_ = SingleInstanceLockPath(name);
  // O_NOFOLLOW: a link planted at the well-known /tmp name is not followed.
  int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}
