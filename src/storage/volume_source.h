// A volume's own reader of a shared disk: its own start (baseOffset) and seek position over
// the disk's positional reads, so that any number of volumes of one disk can be open, and
// read from several threads, at once.
#pragma once

#include <string>

#include "storage/read_write_interface.h"

namespace quarnel {

class VolumeSource : public readWriteInterface {
 public:
  explicit VolumeSource(readWriteInterface& disk);

  bool open(const std::string& name) override;
  bool read(void* buffer, std::uint32_t byteCount) override;
  bool seek(std::int64_t offset, int moveMethod) override;
  using readWriteInterface::readAt;
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  bool readAt(std::int64_t offset, std::span<const MutableByteSpan> parts) override;
  std::int64_t sizeSectors() const override { return disk_.sizeSectors(); }

  readWriteInterface& disk() const { return disk_; }

 private:
  readWriteInterface& disk_;
};

}  // namespace quarnel
