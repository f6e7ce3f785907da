// One volume of the sector source, addressed by byte offsets from the volume's start. All
// FAT-family reads go through here, so nothing reads past the volume's end.
#pragma once

#include <cstdint>

#include "platform/bytes.h"
#include "storage/extent_stream.h"
#include "storage/read_write_interface.h"

namespace quarnel {

class VolumeReader {
 public:
  VolumeReader() = default;
  VolumeReader(readWriteInterface& disk, std::uint64_t startByte, std::uint64_t sizeBytes)
      : disk_(&disk), start_(startByte), size_(sizeBytes) {}

  // Fills out from offset; what lies past the volume's end or cannot be read comes back
  // as zeros and makes the result false.
  bool read(std::uint64_t offset, MutableByteSpan out) const;
  std::uint64_t size() const { return size_; }
  bool attached() const { return disk_ != nullptr; }
  // The volume as the content streamer reads it.
  VolumeBytes bytes() const { return {disk_, start_, size_}; }

 private:
  readWriteInterface* disk_ = nullptr;
  std::uint64_t start_ = 0;
  std::uint64_t size_ = 0;
};

}  // namespace quarnel
