// Where file content goes when it leaves a parser: a new file, standard output, a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/bytes.h"

namespace quarnel {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(ByteSpan data) = 0;
  // A run of zeros the content holds without data (a hole). A file on disk leaves it
  // unwritten, so it stays sparse; the default writes the zeros.
  virtual bool writeHole(std::uint64_t length);
  // Where the content could not be read: those bytes were written as zeros, in place.
  virtual void unreadable(std::uint64_t /*offset*/, std::uint64_t /*length*/) {}
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
