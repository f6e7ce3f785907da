#include "fs/ntfs/ntfs_records.h"

#include <algorithm>

namespace quarnel::ntfs_format {
namespace {

// Record header.
constexpr std::size_t kSignature = 0x00;
constexpr std::size_t kUsaOffset = 0x04;
constexpr std::size_t kUsaCount = 0x06;
constexpr std::size_t kSequenceNumber = 0x10;
constexpr std::size_t kFirstAttribute = 0x14;
constexpr std::size_t kFlags = 0x16;
constexpr std::size_t kBaseReference = 0x20;
constexpr std::size_t kRecordNumber = 0x2C;

// Attribute header, common part.
constexpr std::size_t kType = 0x00;
constexpr std::size_t kLength = 0x04;
constexpr std::size_t kNonResident = 0x08;
constexpr std::size_t kNameLength = 0x09;
constexpr std::size_t kAttributeFlags = 0x0C;
// Resident part.
constexpr std::size_t kContentLength = 0x10;
constexpr std::size_t kContentOffset = 0x14;
constexpr std::size_t kResidentHeaderSize = 0x18;
// Non-resident part.
constexpr std::size_t kFirstVcn = 0x10;
constexpr std::size_t kLastVcn = 0x18;
constexpr std::size_t kRunListOffset = 0x20;
constexpr std::size_t kCompressionUnit = 0x22;
constexpr std::size_t kAllocatedSize = 0x28;
constexpr std::size_t kRealSize = 0x30;
constexpr std::size_t kInitializedSize = 0x38;  // valid data length: past it the stream reads as zeros
constexpr std::size_t kNonResidentHeaderSize = 0x40;

// $FILE_NAME content.
constexpr std::size_t kParentReference = 0x00;
constexpr std::size_t kFnAllocatedSize = 0x28;
constexpr std::size_t kFnFlags = 0x38;
constexpr std::size_t kFnNameLength = 0x40;
constexpr std::size_t kFnNameSpace = 0x41;
constexpr std::size_t kFnName = 0x42;

// $STANDARD_INFORMATION content.
constexpr std::size_t kSiCreated = 0x00;
constexpr std::size_t kSiModified = 0x08;
constexpr std::size_t kSiAccessed = 0x18;

// $ATTRIBUTE_LIST entry.
constexpr std::size_t kListType = 0x00;
constexpr std::size_t kListLength = 0x04;
constexpr std::size_t kListNameLength = 0x06;
constexpr std::size_t kListStartVcn = 0x08;
constexpr std::size_t kListRecordLow = 0x10;
constexpr std::size_t kListRecordHigh = 0x14;
constexpr std::size_t kListEntryMinimum = 0x18;

constexpr std::uint64_t kReferenceMask = 0x0000FFFFFFFFFFFFULL;
constexpr std::uint64_t kReferenceSign = 0x0000800000000000ULL;

}  // namespace

RecordHeader RecordHeader::decode(ByteSpan r) {
  RecordHeader h;
  for (std::size_t i = 0; i < h.signature.size(); ++i) h.signature[i] = static_cast<char>(u8(r, kSignature + i));
  h.usaOffset = le16(r, kUsaOffset);
  h.usaCount = le16(r, kUsaCount);
  h.firstAttribute = le16(r, kFirstAttribute);
  h.flags = le16(r, kFlags);
  h.sequence = le16(r, kSequenceNumber);
  h.baseReference = le64(r, kBaseReference);
  h.recordNumber = le32(r, kRecordNumber);
  return h;
}

std::size_t applyFixup(MutableByteSpan record) {
  const ByteSpan view(record.data(), record.size());
  const std::size_t usaOffset = le16(view, kUsaOffset);
  const std::size_t usaCount = le16(view, kUsaCount);
  if (usaOffset >= record.size() || !fits(view, usaOffset, 2)) return record.size();
  const std::uint16_t usn = le16(view, usaOffset);
  std::size_t whole = record.size();
  for (std::size_t k = 1; k < usaCount; ++k) {
    const std::size_t sectorEnd = kFixupStride * k;
    const std::size_t word = usaOffset + 2 * k;
    if (sectorEnd > record.size() || !fits(view, word, 2)) break;
    // A sector written after the others (a torn write), or taken from elsewhere.
    if (whole == record.size() && le16(view, sectorEnd - 2) != usn) whole = sectorEnd - kFixupStride;
    record[sectorEnd - 2] = record[word];
    record[sectorEnd - 1] = record[word + 1];
  }
  return whole;
}

AttributeHeader AttributeHeader::decode(ByteSpan r, std::size_t at) {
  AttributeHeader a;
  a.offset = at;
  a.type = le32(r, at + kType);
  a.length = le32(r, at + kLength) & 0xFFFF;
  a.nonResident = u8(r, at + kNonResident) != 0;
  a.nameLength = u8(r, at + kNameLength);
  a.flags = le16(r, at + kAttributeFlags);
  if (a.nonResident) {
    a.firstVcn = le64(r, at + kFirstVcn);
    a.lastVcn = le64(r, at + kLastVcn);
    a.runListOffset = le16(r, at + kRunListOffset);
    a.compressionUnit = le16(r, at + kCompressionUnit);
    a.allocatedSize = le64(r, at + kAllocatedSize);
    a.realSize = le64(r, at + kRealSize);
    a.initializedSize = le64(r, at + kInitializedSize);
  } else {
    a.contentLength = le32(r, at + kContentLength);
    a.contentOffset = le16(r, at + kContentOffset);
  }
  return a;
}

ByteSpan AttributeHeader::runList(ByteSpan r) const {
  if (runListOffset >= length) return {};
  const std::size_t start = offset + runListOffset;
  const std::size_t end = std::min<std::size_t>(offset + length, r.size());
  return start < end ? r.subspan(start, end - start) : ByteSpan{};
}

ByteSpan AttributeHeader::content(ByteSpan r) const {
  const std::size_t start = offset + contentOffset;
  if (start >= r.size()) return {};
  return r.subspan(start, std::min<std::size_t>(contentLength, r.size() - start));
}

ByteSpan AttributeHeader::contentToRecordEnd(ByteSpan r) const {
  const std::size_t start = offset + contentOffset;
  return start < r.size() ? r.subspan(start) : ByteSpan{};
}

std::vector<AttributeHeader> walkAttributes(ByteSpan r, std::uint16_t firstAttribute) {
  std::vector<AttributeHeader> out;
  std::size_t at = firstAttribute;
  while (fits(r, at, kLength + 4)) {
    if (le32(r, at + kType) == kEndOfAttributes) break;
    AttributeHeader a = AttributeHeader::decode(r, at);
    const std::size_t minimum = a.nonResident ? kNonResidentHeaderSize : kResidentHeaderSize;
    if (a.length < minimum || a.length > r.size() - at) break;
    out.push_back(a);
    at += a.length;
  }
  return out;
}

bool hasAttribute(const std::vector<AttributeHeader>& attributes, std::uint32_t type) {
  return std::any_of(attributes.begin(), attributes.end(), [&](const AttributeHeader& a) { return a.type == type; });
}

FileNameContent FileNameContent::decode(ByteSpan c) {
  FileNameContent f;
  f.parentSequence = static_cast<std::uint16_t>(le64(c, kParentReference) >> 48);
  std::uint64_t ref = le64(c, kParentReference) & kReferenceMask;
  if (ref & kReferenceSign) ref |= ~kReferenceMask;
  f.parent = static_cast<std::int64_t>(ref);
  f.allocatedSize = le64(c, kFnAllocatedSize);
  f.flags = le32(c, kFnFlags);
  f.nameLength = u8(c, kFnNameLength);
  f.nameSpace = u8(c, kFnNameSpace);
  f.nameFits = fits(c, kFnName, 2 * std::size_t{f.nameLength});
  if (f.nameFits) {
    f.name.resize(f.nameLength);
    for (std::size_t i = 0; i < f.nameLength; ++i) f.name[i] = static_cast<char16_t>(le16(c, kFnName + 2 * i));
  }
  return f;
}

StandardInformation StandardInformation::decode(ByteSpan c) {
  return {le64(c, kSiCreated), le64(c, kSiModified), le64(c, kSiAccessed)};
}

AttributeListEntry AttributeListEntry::decode(ByteSpan l, std::size_t at) {
  AttributeListEntry e;
  e.type = le32(l, at + kListType);
  e.length = le16(l, at + kListLength);
  e.nameLength = u8(l, at + kListNameLength);
  e.startVcn = le64(l, at + kListStartVcn);
  e.recordNumber = le32(l, at + kListRecordLow) | (std::uint64_t{le16(l, at + kListRecordHigh)} << 32);
  return e;
}

std::vector<AttributeListEntry> walkAttributeList(ByteSpan l) {
  std::vector<AttributeListEntry> out;
  std::size_t at = 0;
  while (fits(l, at, kListEntryMinimum)) {
    AttributeListEntry e = AttributeListEntry::decode(l, at);
    if (e.type == 0 || e.type == kEndOfAttributes || e.length == 0) break;
    out.push_back(e);
    at += e.length;
  }
  return out;
}

std::string attributeLetters(std::uint32_t flags) {
  struct Letter {
    std::uint32_t bit;
    const char* text;
  };
  static constexpr Letter kLetters[] = {{0x0001, "-R"}, {0x0002, "-H"}, {0x0200, "-S"},
                                        {0x0020, "-A"}, {0x0800, "-C"}, {0x4000, "-E"}};
  std::string out;
  for (const Letter& l : kLetters)
    if (flags & l.bit) out += l.text;
  return out;
}

}  // namespace quarnel::ntfs_format
