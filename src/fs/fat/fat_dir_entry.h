// The 32-byte FAT directory entries: the 8.3 entry, the long-name pieces before it, the
// names they give and the attribute classes the parsers compare whole bytes against.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace quarnel {

inline constexpr std::size_t kDirEntrySize = 32;
inline constexpr std::uint8_t kEntryEnd = 0x00;      // first byte of a free slot
inline constexpr std::uint8_t kEntryDeleted = 0xE5;  // first byte of a deleted entry
inline constexpr std::uint8_t kLongNameAttribute = 0x0F;
inline constexpr std::uint8_t kVolumeLabelAttribute = 0x08;

struct FatShortEntry {
  std::array<std::uint8_t, 11> name{};
  std::uint8_t attribute = 0;
  std::uint8_t caseFlags = 0;  // 0x08: base in lower case, 0x10: extension in lower case
  std::uint8_t creation10ms = 0;
  std::uint16_t creationTime = 0;
  std::uint16_t creationDate = 0;
  std::uint16_t accessDate = 0;
  std::uint16_t firstClusterHigh = 0;
  std::uint16_t writeTime = 0;
  std::uint16_t writeDate = 0;
  std::uint16_t firstClusterLow = 0;
  std::uint32_t size = 0;

  static FatShortEntry decode(ByteSpan slot);
  std::uint32_t firstCluster() const { return (std::uint32_t{firstClusterHigh} << 16) | firstClusterLow; }
  bool deleted() const { return name[0] == kEntryDeleted; }
  // "." and "..", which stand at the start of every subfolder.
  bool dotEntry() const { return name[0] == '.'; }
  // The checksum of the 8.3 name that its long-name entries carry.
  std::uint8_t nameChecksum() const;
};

// The folder set of the FAT parsers (whole attribute bytes, not single bits).
bool isFatFolderAttribute(std::uint8_t attribute);

// The 8.3 name as shown: base and extension without their padding, joined by a dot,
// through code page 437 with the lower-case flags applied; the 0xE5 of a deleted entry
// shows as U+FFE5 and a leading 0x05 stands for the byte 0xE5.
std::string fatShortName(const FatShortEntry& e);

// Collects the long-name entries that stand before an 8.3 entry (last piece first). A live
// run must carry its sequence numbers in order, from the flagged last piece down to 1, and
// one checksum; a piece that breaks the order leaves no name until the next last piece.
class LongNameRun {
 public:
  // Pieces a long name may have: 255 characters in 13-character pieces.
  static constexpr int kMaxPieces = 20;

  void add(ByteSpan slot);
  void clear();
  bool pending() const { return count_ > 0; }
  bool deleted() const { return deleted_; }
  // The joined name for the 8.3 entry that ends the run, or empty when the run does not
  // belong to it (a live entry whose checksum differs).
  std::string nameFor(const FatShortEntry& e) const;

 private:
  std::array<std::array<char16_t, 13>, kMaxPieces> pieces_{};
  int count_ = 0;
  int next_ = 0;  // the sequence number the next live piece must carry
  bool deleted_ = false;
  bool broken_ = false;
  std::uint8_t checksum_ = 0;
};

}  // namespace quarnel
