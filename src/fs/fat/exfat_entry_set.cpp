#include "fs/fat/exfat_entry_set.h"

#include "fs/fat/exfat_time.h"
#include "platform/text.h"

namespace quarnel {
namespace {

constexpr std::size_t kSlot = 32;
constexpr std::size_t kMaxNameEntries = 32;
constexpr std::size_t kNameChars = 15;  // per File name entry, from byte 2

// File entry.
constexpr std::size_t kSecondaryCount = 1;
constexpr std::size_t kSetChecksum = 2;  // u16, over the whole set but these two bytes
constexpr std::size_t kAttributes = 4;  // u16
constexpr std::size_t kFileReserved1 = 6;  // u16
constexpr std::size_t kCreated = 8;
constexpr std::size_t kModified = 12;
constexpr std::size_t kAccessed = 16;
constexpr std::size_t kCreate10ms = 20;
constexpr std::size_t kModified10ms = 21;
constexpr std::size_t kCreateUtc = 22;
constexpr std::size_t kModifiedUtc = 23;
constexpr std::size_t kAccessedUtc = 24;
constexpr std::size_t kFileReserved2 = 25;  // 7 bytes
// Stream extension entry.
constexpr std::size_t kFlags = 1;
constexpr std::size_t kStreamReserved1 = 2;
constexpr std::size_t kNameLength = 3;
constexpr std::size_t kStreamReserved2 = 6;  // u16
constexpr std::size_t kValidDataLength = 8;  // u64
constexpr std::size_t kStreamReserved3 = 16;  // u32
constexpr std::size_t kFirstCluster = 20;
constexpr std::size_t kDataLength = 24;  // u64
// File name entry.
constexpr std::size_t kNameFlags = 1;
constexpr std::size_t kNameText = 2;
// Volume label entry.
constexpr std::size_t kLabelReserved = 24;  // 8 bytes

constexpr std::uint8_t kInUse = 0x80;  // the type bit deletion clears

bool isFile(std::uint8_t t) { return t == kExfatFile || t == kExfatFileDeleted; }
bool isStream(std::uint8_t t) { return t == kExfatStream || t == kExfatStreamDeleted; }
bool isName(std::uint8_t t) { return t == kExfatName || t == kExfatNameDeleted; }

// The set checksum as it was written, with the in-use bits a deletion cleared put back.
std::uint16_t setChecksum(ByteSpan dir, std::size_t first, std::size_t entries) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < entries * kSlot; ++i) {
    if (i == kSetChecksum || i == kSetChecksum + 1) continue;
    auto b = u8(dir, first + i);
    if (i % kSlot == 0) b |= kInUse;
    sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + b);
  }
  return sum;
}

bool zero(ByteSpan s, std::size_t at, std::size_t n) {
  if (!fits(s, at, n)) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (s[at + i] != std::byte{0}) return false;
  return true;
}

}  // namespace

bool isExfatFolderAttribute(std::uint16_t a) { return (a & 0x10) != 0; }

std::size_t readExfatEntrySet(ByteSpan dir, std::size_t slot, ExFatEntryRecord& rec) {
  const std::size_t slots = dir.size() / kSlot;
  const std::size_t f = slot * kSlot;
  rec.entryType = u8(dir, f);
  rec.attributes = le16(dir, f + kAttributes);
  rec.created = le32(dir, f + kCreated);
  rec.modified = le32(dir, f + kModified);
  rec.accessed = le32(dir, f + kAccessed);
  rec.create10ms = u8(dir, f + kCreate10ms);
  rec.modified10ms = u8(dir, f + kModified10ms);
  rec.createUtcOffset = u8(dir, f + kCreateUtc);
  rec.modifiedUtcOffset = u8(dir, f + kModifiedUtc);
  rec.accessedUtcOffset = u8(dir, f + kAccessedUtc);
  // A set's secondaries share its File entry's state: a live entry after a deleted one
  // begins a set of its own and never lends it a name.
  const std::uint8_t state = rec.entryType & kInUse;
  const auto ours = [&](std::size_t at, std::uint8_t type) { return u8(dir, at) == ((type & ~kInUse) | state); };
  std::size_t i = slot + 1;
  if (i < slots && ours(i * kSlot, kExfatStream)) {
    const std::size_t s = i * kSlot;
    rec.streamType = u8(dir, s);
    rec.flags = u8(dir, s + kFlags);
    rec.nameLength = u8(dir, s + kNameLength);
    rec.validDataLength = le64(dir, s + kValidDataLength);
    rec.firstCluster = le32(dir, s + kFirstCluster);
    rec.dataLength = le64(dir, s + kDataLength);
    ++i;
  }
  std::u16string name;
  for (std::size_t n = 0; i < slots && n < kMaxNameEntries && ours(i * kSlot, kExfatName); ++i, ++n) {
    for (std::size_t c = 0; c < kNameChars; ++c) {
      const auto ch = static_cast<char16_t>(le16(dir, i * kSlot + kNameText + 2 * c));
      if (ch == 0) break;
      name.push_back(ch);
    }
  }
  if (rec.nameLength != 0 && name.size() > rec.nameLength) name.resize(rec.nameLength);
  rec.name = utf16ToUtf8(name);

  // The secondary count must cover the stream and the name entries the name needs, those
  // entries must be there, and the set checksum must hold over the count.
  const std::size_t secondaries = u8(dir, f + kSecondaryCount);
  const std::size_t nameEntries = (std::size_t{rec.nameLength} + kNameChars - 1) / kNameChars;
  rec.damaged = secondaries < 1 + nameEntries || i - slot - 1 < 1 + nameEntries || slot + 1 + secondaries > slots ||
                setChecksum(dir, f, 1 + secondaries) != le16(dir, f + kSetChecksum);
  return i;
}

bool exfatScanSet(ByteSpan b, std::size_t at) {
  if (!fits(b, at, 2 * kSlot) || !isFile(u8(b, at))) return false;
  const std::uint8_t attr = u8(b, at + kAttributes);
  if (!(attr == 0x10 || attr == 0x11 || attr == 0x12 || attr == 0x13 || attr == 0x15 || attr == 0x20 || attr == 0x30))
    return false;
  if (!zero(b, at + kFileReserved1, 2) || !zero(b, at + kFileReserved2, 7)) return false;
  const std::size_t s = at + kSlot;
  const std::uint8_t flags = u8(b, s + kFlags);
  if (!isStream(u8(b, s)) || !zero(b, s + kStreamReserved1, 1) || !zero(b, s + kStreamReserved2, 2) ||
      !zero(b, s + kStreamReserved3, 4) || (flags != 0x01 && flags != 0x03))
    return false;
  const std::size_t names = (u8(b, s + kNameLength) + kNameChars - 1) / kNameChars;
  for (std::size_t j = 0; j < names; ++j) {
    const std::size_t n = s + kSlot * (j + 1);
    if (!fits(b, n, kSlot) || !isName(u8(b, n)) || u8(b, n + kNameFlags) > 3) return false;
  }
  return true;
}

bool exfatLabelEntry(ByteSpan b, std::size_t at) {
  return u8(b, at) == kExfatLabel && zero(b, at + kLabelReserved, 8);
}

Instant exfatCreated(const ExFatEntryRecord& r) { return exfatInstant(r.created, r.create10ms, r.createUtcOffset); }
Instant exfatModified(const ExFatEntryRecord& r) { return exfatInstant(r.modified, r.modified10ms, r.modifiedUtcOffset); }
Instant exfatAccessed(const ExFatEntryRecord& r) { return exfatInstant(r.accessed, 0, r.accessedUtcOffset); }

}  // namespace quarnel
