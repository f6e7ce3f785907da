// Where file content goes when it leaves a parser: a new file, standard output, a buffer.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/bytes.h"

namespace quarnel {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(ByteSpan data) = 0;
};

// Keeps what is written in memory, up to limit bytes; a write past it fails and keeps
// nothing of itself, so a small record read never grows with what a damaged file claims.
class MemorySink : public ByteSink {
 public:
  explicit MemorySink(std::size_t limit) : limit_(limit) {}
  bool write(ByteSpan data) override {
    if (data.size() > limit_ - bytes.size()) return false;
    bytes.insert(bytes.end(), data.begin(), data.end());
    return true;
  }

  std::vector<std::byte> bytes;

 private:
  std::size_t limit_;
};

}  // namespace quarnel
