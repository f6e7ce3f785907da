#include "fs/fat/fat_scan.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "fs/fat/fat_dir_entry.h"

namespace quarnel {
namespace {

constexpr std::size_t kAttribute = 11;
constexpr std::size_t kCaseFlags = 12;
constexpr std::size_t kCreation10ms = 13;
constexpr std::size_t kCreationTime = 14;
constexpr std::size_t kCreationDate = 16;
constexpr std::size_t kAccessDate = 18;
constexpr std::size_t kClusterHigh = 20;
constexpr std::size_t kWriteTime = 22;
constexpr std::size_t kWriteDate = 24;
constexpr std::size_t kClusterLow = 26;
constexpr std::size_t kSize = 28;
constexpr std::size_t kLongType = 12;
constexpr std::size_t kLongCluster = 26;

constexpr std::size_t kChunk = 4 << 20;

bool oneOf(std::uint8_t b, std::initializer_list<int> set) {
  for (int v : set)
    if (b == v) return true;
  return false;
}

// Letters, digits and "[\]^_" as the FAT32 rules write their ranges.
bool nameByte32(std::uint8_t c) { return (c >= 0x41 && c <= 0x5B) || (c >= 0x5F && c <= 0x7A) || (c >= 0x30 && c <= 0x39); }
bool nameByte16(std::uint8_t c) { return (c >= 0x41 && c <= 0x5B) || (c >= 0x61 && c <= 0x7A) || (c >= 0x30 && c <= 0x39); }
bool labelByte(std::uint8_t c) { return (c >= 0x41 && c <= 0x5A) || (c >= 0x61 && c <= 0x7A) || (c >= 0x30 && c <= 0x39); }

// The lower-case flags of Windows NT and Linux (0x08, 0x10) are case flags too.
bool caseFlags(std::uint8_t b) { return b == 0x00 || b == 0x08 || b == 0x10 || b == 0x18; }

std::uint32_t firstCluster(ByteSpan s) { return (std::uint32_t{le16(s, kClusterHigh)} << 16) | le16(s, kClusterLow); }

bool dosDate(std::uint16_t d) {
  const int day = d & 0x1F, month = (d >> 5) & 0x0F;
  return day >= 1 && month >= 1 && month <= 12;
}
bool dosTime(std::uint16_t t) { return (t >> 11) < 24 && ((t >> 5) & 0x3F) < 60 && (t & 0x1F) < 30; }

// FAT32: every stamp present and valid. Formatters such as mtools leave the 10-ms byte 0,
// so only its range is checked.
bool timesFat32(ByteSpan s) {
  const std::uint16_t ad = le16(s, kAccessDate), cd = le16(s, kCreationDate), wd = le16(s, kWriteDate);
  const std::uint16_t ct = le16(s, kCreationTime), wt = le16(s, kWriteTime);
  return ad && cd && ct && wt && wd && u8(s, kCreation10ms) < 200 && dosDate(ad) && dosDate(cd) &&
         dosDate(wd) && dosTime(ct) && dosTime(wt);
}

bool timesFat16(ByteSpan s) {
  const auto time = [](std::uint16_t t) { return t <= 0xBFFF && ((t >> 5) & 0x3F) <= 59 && (t & 0x1F) <= 29; };
  return dosDate(le16(s, kWriteDate)) && dosDate(le16(s, kCreationDate)) && dosDate(le16(s, kAccessDate)) &&
         time(le16(s, kCreationTime)) && time(le16(s, kWriteTime));
}

}  // namespace

FatSlotKind fat32SlotKind(ByteSpan s, std::uint64_t clusterCount) {
  const std::uint8_t a = u8(s, kAttribute), b0 = u8(s, 0), b1 = u8(s, 1);
  const std::uint32_t cluster = firstCluster(s);
  if (a == kLongNameAttribute) {
    const bool ok = (nameByte32(b1) || oneOf(b1, {' ', '~', ',', '.', ')', 0xE5})) && u8(s, kLongType) == 0 &&
                    u8(s, kLongCluster) == 0;
    return ok ? FatSlotKind::LongName : FatSlotKind::None;
  }
  if (oneOf(a, {0x10, 0x11, 0x12, 0x14, 0x15, 0x16, 0x30})) {
    const bool ok = (nameByte32(b0) || oneOf(b0, {0xE5, '~', '$'})) &&
                    (nameByte32(b1) || oneOf(b1, {' ', '~', '.', ')', 0xE5})) &&
                    (b0 == kEntryDeleted || le32(s, kSize) == 0) && cluster != 0 && cluster < clusterCount &&
                    timesFat32(s);
    return ok ? FatSlotKind::Folder : FatSlotKind::None;
  }
  if (a == 0x20) {
    const bool ok = (nameByte32(b0) || oneOf(b0, {0xE5, '~'})) && (nameByte32(b1) || oneOf(b1, {' ', '~', '.', 0xE5})) &&
                    caseFlags(u8(s, kCaseFlags)) && cluster != 0 && cluster < clusterCount && le32(s, kSize) != 0 &&
                    timesFat32(s);
    return ok ? FatSlotKind::File : FatSlotKind::None;
  }
  return FatSlotKind::None;
}

bool fat32DataOffsetSlot(ByteSpan s) {
  const std::uint8_t b0 = u8(s, 0), b1 = u8(s, 1);
  if (u8(s, kAttribute) != kVolumeLabelAttribute && !hasText(s, 1, "RECYCLE")) return false;
  return (labelByte(b0) || oneOf(b0, {0xE5, '~', '$'})) && (labelByte(b1) || oneOf(b1, {' ', '~', '.', ')', 0xE5})) &&
         oneOf(u8(s, kCaseFlags), {0x00, 0x18}) && u8(s, kSize) == 0;
}

FatSlotKind fat16SlotKind(ByteSpan s, std::uint64_t clusterCount) {
  const std::uint8_t a = u8(s, kAttribute), b0 = u8(s, 0), b1 = u8(s, 1);
  const std::uint32_t cluster = firstCluster(s);
  const auto second = [&] { return nameByte16(b1) || oneOf(b1, {' ', ')', '.', '~', 0xE5}); };
  if (a == kLongNameAttribute) {
    const bool ok = (second() || (b1 == '_' && b0 != kEntryDeleted)) && u8(s, kLongType) == 0 &&
                    u8(s, kLongCluster) == 0;
    return ok ? FatSlotKind::LongName : FatSlotKind::None;
  }
  if (oneOf(a, {0x10, 0x11, 0x12, 0x14, 0x15, 0x16, 0x30})) {
    if (!(nameByte16(b0) || oneOf(b0, {'$', '~', 0xE5})) || !second() || !timesFat16(s)) return FatSlotKind::None;
    if (b0 == kEntryDeleted) return FatSlotKind::Folder;
    return le32(s, kSize) == 0 && cluster != 0 && cluster < clusterCount ? FatSlotKind::Folder : FatSlotKind::None;
  }
  if (a == 0x20 || a == 0x26) {
    const bool ok = (nameByte16(b0) || oneOf(b0, {0xE5, '~'})) && second() && caseFlags(u8(s, kCaseFlags)) &&
                    cluster < clusterCount && timesFat16(s);
    return ok ? FatSlotKind::File : FatSlotKind::None;
  }
  return FatSlotKind::None;
}

FatScanResult scanFatSlots(const VolumeReader& io, FatScanRules rules, std::uint64_t clusterCount,
                           Reporter& reporter, JobControl& job) {
  FatScanResult result;
  const std::uint64_t size = io.size();
  const std::int64_t scale = rules == FatScanRules::Fat32 ? 1000 : 100000;
  reporter.progressRange(0, scale);
  std::vector<std::byte> chunk(kChunk);
  std::uint64_t count = 0;
  char text[96];
  for (std::uint64_t at = 0; at < size; at += kChunk) {
    if (job.shouldStop()) break;
    reporter.progressPosition(static_cast<std::int64_t>(static_cast<double>(at) / static_cast<double>(size) * scale));
    if (rules == FatScanRules::Fat16) {
      std::snprintf(text, sizeof text, "currently at sector %lld of %lld", static_cast<long long>(at / 512),
                    static_cast<long long>(size / 512));
      reporter.status(text);
    }
    io.read(at, chunk);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at));
    for (std::size_t off = 0; off + kDirEntrySize <= n; off += kDirEntrySize) {
      const ByteSpan slot = ByteSpan(chunk).subspan(off, kDirEntrySize);
      if (rules == FatScanRules::Fat32 && !result.dataOffsetSlot && fat32DataOffsetSlot(slot))
        result.dataOffsetSlot = at + off;
      const FatSlotKind kind =
          rules == FatScanRules::Fat32 ? fat32SlotKind(slot, clusterCount) : fat16SlotKind(slot, clusterCount);
      if (kind == FatSlotKind::None) continue;
      result.found.push_back(at + off);
      ++count;
      if (rules == FatScanRules::Fat32 && !(kind == FatSlotKind::LongName && u8(slot, 0) != kEntryDeleted)) {
        std::snprintf(text, sizeof text, "found file or directory =  %llu ", static_cast<unsigned long long>(count));
        reporter.status(text);
      }
    }
  }
  reporter.progressPosition(scale);
  return result;
}

}  // namespace quarnel
