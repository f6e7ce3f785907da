// A new file written in large blocks. It refuses to replace an existing file unless asked,
// so recovered data never lands on top of something else.
#pragma once

#include <cstdint>
#include <string>

#include "platform/byte_sink.h"
#include "platform/bytes.h"

namespace quarnel {

class OutputFile : public ByteSink {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() override;

  // overwrite=false fails when path exists (O_EXCL); true truncates it.
  bool create(const std::string& path, bool overwrite);
  bool write(ByteSpan data) override;
  // Skips the bytes: the file gets a hole there (and its length at close).
  bool writeHole(std::uint64_t length) override;
  bool close();
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string error_;
  std::uint64_t length_ = 0;  // bytes written or skipped
  bool endsInHole_ = false;
};

}  // namespace quarnel
