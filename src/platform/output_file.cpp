#include "platform/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quarnel {

OutputFile::~OutputFile() { close(); }

bool OutputFile::create(const std::string& path, bool overwrite) {
  close();
  path_ = path;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
  fd_ = ::open(path.c_str(), flags, 0644);
  length_ = 0;
  endsInHole_ = false;
  if (fd_ < 0) {
    error_ = path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::write(ByteSpan data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = path_ + ": " + std::strerror(errno);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  length_ += data.size();
  endsInHole_ = false;
  return true;
}

bool OutputFile::writeHole(std::uint64_t length) {
  if (length == 0) return true;
  if (::lseek(fd_, static_cast<off_t>(length), SEEK_CUR) < 0) {
    error_ = path_ + ": " + std::strerror(errno);
    return false;
  }
  length_ += length;
  endsInHole_ = true;
  return true;
}

bool OutputFile::close() {
  if (fd_ < 0) return true;
  // A hole at the end has no byte written after it to give the file its length.
  if (endsInHole_ && ::ftruncate(fd_, static_cast<off_t>(length_)) != 0) {
    error_ = path_ + ": " + std::strerror(errno);
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) {
    error_ = path_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace quarnel
