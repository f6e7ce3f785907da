// A sector source over a VHD file: dynamic (footer copy, dynamic header, block allocation
// table, blocks) or fixed (raw data followed by a footer).
#pragma once

#include "platform/raw_file.h"
#include "storage/read_write_interface.h"

namespace quarnel {

class FileReadSeekVHD : public readWriteInterface {
 public:
  static FileReadSeekVHD missing();

  bool open(const std::string& name) override;
  bool read(void* buffer, std::uint32_t byteCount) override;
  bool seek(std::int64_t offset, int moveMethod) override;
  using readWriteInterface::readAt;
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  std::int64_t sizeSectors() const override { return diskBytes_ / kSectorSize; }

  bool isFixed() const { return fixed_; }
  std::int64_t blockBytes() const { return blockBytes_; }

 private:
  bool fail(const std::string& why, const char* box);
  bool readDynamicLayout(ByteSpan footer, std::int64_t fileBytes);

  RawFile vhdHandle;
  bool fixed_ = false;
  std::int64_t diskBytes_ = 0;
  std::int64_t blockBytes_ = 2 * 1024 * 1024;
  std::int64_t bitmapBytes_ = 512;
};

// Whether a file name ends in "vhd" (letter case ignored); names of three characters or
// fewer pass, as the name check has always let them.
bool hasVhdName(const std::string& name);
// Whether a path ends in ".vhd" (letter case ignored): how members are told apart.
bool hasVhdExtension(const std::string& name);

}  // namespace quarnel
