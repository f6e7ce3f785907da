// The virtual disk: members of a RAID-0 or RAID-5 array presented as one disk of 512-byte
// sectors, with the sectors of missing members rebuilt by XOR of the others.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "storage/raid_geometry.h"
#include "storage/read_write_interface.h"

namespace quarnel {

inline constexpr const char* kMissingDiskName = "MISSING DISK";

class FileReadSeekRaid : public readWriteInterface {
 public:
  // Configuration, set before open.
  std::vector<std::string> memberNames;  // in array order; "MISSING DISK" for a lost member
  std::uint8_t vhdMembers = 0;           // 1: every member is a VHD file
  std::vector<std::int64_t> memberOffsets;  // per member, sectors before its array data
  std::int32_t raidLevel = -1;
  std::int32_t parityLayout = kLeftSymmetric;
  std::int64_t stripeSectors = 128;
  // From a dynamic-disk private header, when a probe found one; 0 otherwise.
  std::int64_t memberDataSectors = 0;

  // State after open.
  std::vector<std::unique_ptr<readWriteInterface>> members;
  readWriteInterface* currentMember = nullptr;

  static bool isMissingName(const std::string& name);

  // The member offset a dynamic-disk private header in the member's first MiB implies,
  // rounded up to a whole stripe; 0 without one. May set memberDataSectors.
  std::int64_t probeMemberOffset(const std::string& name);

  // The name is not used; every member named in memberNames is opened read-only.
  bool open(const std::string& name) override;
  bool read(void* buffer, std::uint32_t byteCount) override;
  bool seek(std::int64_t offset, int moveMethod) override;
  bool rotateMembers(std::string* nameWindow) override;
  using readWriteInterface::readAt;
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  std::int64_t sizeSectors() const override { return diskSectors_; }

  bool isOpen() const { return opened_; }
  RaidGeometry geometry() const;
  // Things worth telling the user that did not stop open (short members, header sizes).
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  bool fail(const std::string& why);
  std::unique_ptr<readWriteInterface> openMember(std::size_t index);
  bool readSectors(std::int64_t firstSector, std::int64_t count, std::byte* out);
  bool readBatch(std::int64_t firstSector, std::int64_t count, std::byte* out);

  bool opened_ = false;
  std::int64_t diskSectors_ = 0;
  std::vector<std::string> warnings_;
  // A stripe-unit piece of a read: where it lies on its member and in the output.
  struct Piece {
    std::int32_t member;
    std::int64_t memberSector;
    std::int64_t sectors;
    std::int64_t outSector;
  };
  // Where a run of a member's sectors landed during one batch.
  struct Segment {
    std::int64_t memberSector;
    std::int64_t sectors;
    std::byte* data;
  };
  // Scratch of the batch reader: one per reading thread, kept across its reads, so that any
  // number of threads may read the disk at once.
  struct BatchScratch {
    std::vector<std::vector<std::byte>> staging;  // member sectors that are not output themselves
    std::vector<std::vector<Segment>> segments;
    std::vector<Piece> pieces;
    std::vector<MutableByteSpan> parts;
    std::vector<std::int64_t> lo, hi;
  };
  static BatchScratch& scratch();
};

}  // namespace quarnel
