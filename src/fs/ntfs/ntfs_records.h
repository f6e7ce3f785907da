// The on-disk shapes of an MFT record: its header, the update-sequence fix-up, the attribute
// headers and the resident contents the parser reads ($STANDARD_INFORMATION, $FILE_NAME,
// attribute-list entries). Pure decoding over a byte span; nothing here reads the disk.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace quarnel::ntfs_format {

inline constexpr std::uint32_t kStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kEndOfAttributes = 0xFFFFFFFF;

inline constexpr std::size_t kSmallRecord = 1024;
inline constexpr std::size_t kLargeRecord = 4096;
inline constexpr std::size_t kFixupStride = 512;  // sector ends the fix-up protects

inline constexpr std::uint16_t kRecordInUse = 0x0001;
inline constexpr std::uint16_t kRecordIsDirectory = 0x0002;
inline constexpr std::uint32_t kFileNameDirectory = 0x10000000;  // $FILE_NAME flags

struct RecordHeader {
  std::array<char, 4> signature{};
  std::uint16_t usaOffset = 0;
  std::uint16_t usaCount = 0;  // words, the sequence number included
  std::uint16_t firstAttribute = 0;
  std::uint16_t flags = 0;
  std::uint16_t sequence = 0;  // raised each time the record is freed
  std::uint64_t baseReference = 0;  // non-zero: an extension record of another file
  std::uint32_t recordNumber = 0;   // the record's own number (header 0x2C)

  static RecordHeader decode(ByteSpan record);
  bool isFile() const { return signature == std::array<char, 4>{'F', 'I', 'L', 'E'}; }
  bool isExtension() const { return baseReference != 0; }
  // What the searches ask of a sector before they treat it as a record.
  bool searchable() const { return usaOffset < 512 && usaCount < 512 && firstAttribute < 512; }
};

// Restores the sector-end words of a record copy from its update sequence array. Every
// 512-byte sector of the record is covered; words the array does not hold stay as read.
// Returns how many leading bytes are whole: the sectors, up to the first torn one, whose
// end word held the update sequence number (all of the record when every one did).
std::size_t applyFixup(MutableByteSpan record);

struct AttributeHeader {
  std::size_t offset = 0;  // of the attribute in its record
  std::uint32_t type = 0;
  std::uint32_t length = 0;  // low 16 bits of the stored length
  bool nonResident = false;
  std::uint8_t nameLength = 0;
  std::uint16_t flags = 0;
  // Resident.
  std::uint32_t contentLength = 0;
  std::uint16_t contentOffset = 0;
  // Non-resident.
  std::uint64_t firstVcn = 0;
  std::uint64_t lastVcn = 0;
  std::uint16_t runListOffset = 0;
  std::uint16_t compressionUnit = 0;
  std::uint64_t allocatedSize = 0;
  std::uint64_t realSize = 0;
  std::uint64_t initializedSize = 0;

  static AttributeHeader decode(ByteSpan record, std::size_t offset);
  bool unnamed() const { return nameLength == 0; }
  // last VCN - first VCN + 1, which bounds the runs taken from the list.
  std::uint64_t runSpan() const { return lastVcn - firstVcn + 1; }
  // The run list bytes, cut to the attribute and the record.
  ByteSpan runList(ByteSpan record) const;
  // The resident content, cut to the record.
  ByteSpan content(ByteSpan record) const;
  // From the resident content's start to the record's end: a name is judged by the record.
  ByteSpan contentToRecordEnd(ByteSpan record) const;
};

// The attribute headers of a record in order, from the first-attribute offset. The walk
// ends at the end marker, at a length of 0 or one too short for a header, and at an
// attribute that would reach past the record, so a damaged record yields what precedes the
// damage.
std::vector<AttributeHeader> walkAttributes(ByteSpan record, std::uint16_t firstAttribute);

bool hasAttribute(const std::vector<AttributeHeader>& attributes, std::uint32_t type);

struct FileNameContent {
  std::int64_t parent = 0;  // low 48 bits of the reference, sign-extended
  std::uint16_t parentSequence = 0;  // the reference's high 16 bits: 0 when not kept
  std::uint64_t allocatedSize = 0;
  std::uint32_t flags = 0;
  std::uint8_t nameLength = 0;
  std::uint8_t nameSpace = 0;  // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
  std::u16string name;
  bool nameFits = false;  // the name lies inside the record

  static FileNameContent decode(ByteSpan content);
  bool directory() const { return (flags & kFileNameDirectory) != 0; }
  bool dosOnly() const { return nameSpace == 2; }
};

struct StandardInformation {
  std::uint64_t created = 0;
  std::uint64_t modified = 0;
  std::uint64_t accessed = 0;

  static StandardInformation decode(ByteSpan content);
};

// One $ATTRIBUTE_LIST entry.
struct AttributeListEntry {
  std::uint32_t type = 0;
  std::uint16_t length = 0;
  std::uint8_t nameLength = 0;
  std::uint64_t startVcn = 0;
  std::uint64_t recordNumber = 0;  // 48 bits

  static AttributeListEntry decode(ByteSpan list, std::size_t offset);
};

// The entries of an attribute list, in order, up to its end marker.
std::vector<AttributeListEntry> walkAttributeList(ByteSpan list);

// Attribute letters from the low flag bits of a $FILE_NAME: "-R-H-S-A-C-E" in that order.
std::string attributeLetters(std::uint32_t flags);

}  // namespace quarnel::ntfs_format
