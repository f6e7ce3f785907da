// A sector source over one block device or raw image file.
#pragma once

#include "platform/raw_file.h"
#include "storage/read_write_interface.h"

namespace quarnel {

class FileReadSeek : public readWriteInterface {
 public:
  FileReadSeek() = default;
  // Takes a file opened elsewhere, as the RAID disk does for its members; open is not called.
  explicit FileReadSeek(RawFile file);
  // A missing member: no file behind it.
  static FileReadSeek missing();

  bool open(const std::string& name) override;
  bool read(void* buffer, std::uint32_t byteCount) override;
  bool seek(std::int64_t offset, int moveMethod) override;
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  bool readAt(std::int64_t offset, std::span<const MutableByteSpan> parts) override;
  std::int64_t sizeSectors() const override { return sizeSectors_; }

  bool isBlockDevice() const { return file_.isBlockDevice(); }

 private:
  void adopt(RawFile file);

  RawFile file_;
  std::int64_t filePos_ = 0;  // the file pointer seek moves and read advances
  std::int64_t sizeSectors_ = 0;
};

}  // namespace quarnel
