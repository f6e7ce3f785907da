// The sector source every reader of the system goes through: a drive or image file, a VHD
// file, or the RAID virtual disk assembled from such members. Sources only ever read.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/error_text.h"
#include "platform/reporter.h"

namespace quarnel {

inline constexpr std::int64_t kSectorSize = 512;
// The handle value that marks a RAID member with no device behind it.
inline constexpr std::int64_t kMissingHandle = 99999999;

// Size in 512-byte sectors of the disk last opened; 0 when none is.
extern std::atomic<std::int64_t> currentDiskSectors;

class readWriteInterface {
 public:
  virtual ~readWriteInterface() = default;

  virtual bool open(const std::string& name) = 0;
  // Reads byteCount bytes at the current position and moves past them.
  virtual bool read(void* buffer, std::uint32_t byteCount);
  // moveMethod: 0 from the start, 1 from the current position, 2 from the end.
  // Positions are relative to baseOffset.
  virtual bool seek(std::int64_t offset, int moveMethod);
  // Moves member 0 to the end of the member order; nameWindow receives the new first name.
  virtual bool rotateMembers(std::string* nameWindow);

  // The positional read beneath seek/read: out.size() bytes at the source's own byte
  // offset (baseOffset does not apply). Bytes that cannot be read come back as zeros and
  // make the result false.
  virtual bool readAt(std::int64_t offset, MutableByteSpan out) = 0;
  // One contiguous run at offset scattered into parts in order; the same rules as readAt.
  virtual bool readAt(std::int64_t offset, std::span<const MutableByteSpan> parts);
  // Size of the source in 512-byte sectors; 0 when unknown or not open.
  virtual std::int64_t sizeSectors() const = 0;

  bool isMissing() const { return handle == kMissingHandle; }
  // Why the last open or read failed, naming the file; empty when nothing failed.
  std::string lastError() const { return lastError_.get(); }
  // Where message boxes go (the information icon, the caption "Quarnel v1.0").
  void setReporter(Reporter* r) { reporter_ = r ? r : &silentReporter(); }
  Reporter& reporter() const { return *reporter_; }

  std::int64_t baseOffset = 0;
  std::int64_t position = 0;
  std::int32_t memberCount = 0;
  std::vector<std::uint32_t> blockTable;
  std::int64_t blockTableEntries = 0;
  std::uint8_t blockAllocated = 1;
  std::int64_t handle = 0;

 protected:
  // Resolves a seek request into an absolute source offset (baseOffset applied), or -1.
  std::int64_t resolveSeek(std::int64_t offset, int moveMethod) const;

  ErrorText lastError_;
  Reporter* reporter_ = &silentReporter();
};

}  // namespace quarnel
