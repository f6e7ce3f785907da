// exFAT directory entry sets: a File entry, its Stream extension and its File name
// entries, read into one record; and the stricter test the advanced scan applies.
#pragma once

#include <cstdint>
#include <string>

#include "platform/bytes.h"
#include "platform/times.h"

namespace quarnel {

inline constexpr std::uint8_t kExfatFile = 0x85;
inline constexpr std::uint8_t kExfatFileDeleted = 0x05;
inline constexpr std::uint8_t kExfatStream = 0xC0;
inline constexpr std::uint8_t kExfatStreamDeleted = 0x40;
inline constexpr std::uint8_t kExfatName = 0xC1;
inline constexpr std::uint8_t kExfatNameDeleted = 0x41;
inline constexpr std::uint8_t kExfatBitmap = 0x81;
inline constexpr std::uint8_t kExfatLabel = 0x83;
inline constexpr std::uint8_t kExfatNoFatChain = 0x02;  // stream flag: contiguous clusters

struct ExFatEntryRecord {
  std::uint8_t entryType = 0;
  std::uint16_t attributes = 0;
  std::uint32_t created = 0;
  std::uint32_t modified = 0;
  std::uint32_t accessed = 0;
  std::uint8_t create10ms = 0;
  std::uint8_t modified10ms = 0;
  std::uint8_t createUtcOffset = 0;
  std::uint8_t modifiedUtcOffset = 0;
  std::uint8_t accessedUtcOffset = 0;
  std::uint8_t streamType = 0;
  std::uint8_t flags = 0;
  std::uint8_t nameLength = 0;
  std::uint64_t validDataLength = 0;
  std::uint32_t firstCluster = 0;
  std::uint64_t dataLength = 0;
  std::string name;  // UTF-8
  // The secondary count or the set checksum does not hold: some of the set was overwritten.
  bool damaged = false;
  std::int32_t parent = 0;
  std::int32_t self = 0;
  std::int32_t firstChild = -1;
  std::int32_t nextSibling = -1;

  bool deleted() const { return entryType == kExfatFileDeleted; }
  bool contiguous() const { return (flags & kExfatNoFatChain) != 0; }
};

// The folder set of the exFAT parser (the whole 16-bit attribute value).
bool isExfatFolderAttribute(std::uint16_t attributes);

// Reads the set whose File entry is slot `slot` of dir into rec; returns the slot after
// the set (after its name entries).
std::size_t readExfatEntrySet(ByteSpan dir, std::size_t slot, ExFatEntryRecord& rec);

// The advanced scan's test for a whole set at byte offset `at` of bytes: the reserved
// fields zero, the flags valid, and exactly as many name entries as the name needs.
bool exfatScanSet(ByteSpan bytes, std::size_t at);
// A volume label entry as the advanced scan takes it for the root's first entry.
bool exfatLabelEntry(ByteSpan bytes, std::size_t at);

Instant exfatCreated(const ExFatEntryRecord& r);
Instant exfatModified(const ExFatEntryRecord& r);
Instant exfatAccessed(const ExFatEntryRecord& r);

}  // namespace quarnel
