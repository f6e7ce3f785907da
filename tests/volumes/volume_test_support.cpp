#include "volumes/volume_test_support.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace quarnel::test {

std::vector<std::string> rows(const std::vector<VolumeRecord>& records) {
  std::vector<std::string> out;
  for (const auto& r : records)
    out.push_back(r.volumeIndex + "|" + r.fileSystem + "|" + r.volumeSizeText + "|" +
                  std::to_string(r.startSector));
  return out;
}

FileReadSeek SyntheticDisk::open(const std::string& path) const {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [sector, bytes] : data_) {
      out.seekp(sector * 512);
      out.write(reinterpret_cast<const char*>(bytes.data()), 512);
    }
  }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(sectors_) * 512);
  RawFile f;
  f.open(path);
  return FileReadSeek(std::move(f));
}

void putLe16(Sector& s, std::size_t at, std::uint16_t v) {
  for (int i = 0; i < 2; ++i) s[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putLe32(Sector& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putLe64(Sector& s, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) s[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putBe32(Sector& s, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}
void putText(Sector& s, std::size_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), s.begin() + static_cast<std::ptrdiff_t>(at));
}

Sector ntfsBootSector(std::uint64_t totalSectors) {
  Sector s{};
  s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
  putText(s, 3, "NTFS    ");
  putLe16(s, 0x0B, 512);
  s[0x0D] = 8;
  putLe64(s, 0x28, totalSectors);
  s[510] = 0x55; s[511] = 0xAA;
  return s;
}

Sector exfatBootSector(std::uint64_t volumeLength) {
  Sector s{};
  s[0] = 0xEB; s[1] = 0x76; s[2] = 0x90;
  putText(s, 3, "EXFAT   ");
  putLe64(s, 0x48, volumeLength);
  s[0x6C] = 9;  // bytes per sector shift
  s[510] = 0x55; s[511] = 0xAA;
  return s;
}

Sector fatBootSector(const FatBpb& b) {
  Sector s{};
  s[0] = b.jump0; s[1] = b.jump1; s[2] = 0x90;
  putText(s, 3, b.oem);
  putLe16(s, 0x0B, b.bytesPerSector);
  s[0x0D] = b.sectorsPerCluster;
  putLe16(s, 0x0E, b.reservedSectors);
  s[0x10] = b.fatCount;
  putLe16(s, 0x13, b.totalSectors16);
  putLe16(s, 0x16, b.sectorsPerFat16);
  putLe32(s, 0x20, b.totalSectors32);
  if (b.bootSignature) { s[510] = 0x55; s[511] = 0xAA; }
  return s;
}

Sector fat16BootSector(std::uint16_t totalSectors, std::uint16_t sectorsPerFat) {
  FatBpb b;
  b.totalSectors16 = totalSectors;
  b.sectorsPerFat16 = sectorsPerFat;
  return fatBootSector(b);
}

Sector fat32BootSector(std::uint32_t totalSectors) {
  FatBpb b;
  b.jump1 = 0x58;
  b.reservedSectors = 32;
  b.totalSectors32 = totalSectors;
  return fatBootSector(b);
}

Sector hfsPlusHeader(std::uint32_t blockSize, std::uint32_t totalBlocks, char kind) {
  Sector s{};
  s[0] = 'H'; s[1] = static_cast<std::uint8_t>(kind); s[2] = 0; s[3] = kind == '+' ? 4 : 5;
  putBe32(s, 0x28, blockSize);
  putBe32(s, 0x2C, totalBlocks);
  return s;
}

void setTableEntry(Sector& s, int index, std::uint8_t type, std::uint32_t lba, std::uint32_t sectors) {
  std::size_t at = 0x1BE + static_cast<std::size_t>(index) * 16;
  s[at + 4] = type;
  putLe32(s, at + 8, lba);
  putLe32(s, at + 12, sectors);
  s[510] = 0x55; s[511] = 0xAA;
}

void writeGptEntries(SyntheticDisk& disk, const std::vector<GptPart>& parts, std::uint64_t entryLba,
                     std::uint32_t entrySize) {
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::uint64_t byte = i * entrySize;
    Sector& s = disk.at(static_cast<std::int64_t>(entryLba + byte / 512));
    std::size_t at = byte % 512;
    const GptPart& p = parts[i];
    putLe32(s, at, p.typeHead);
    putLe64(s, at + 0x20, p.firstLba);
    putLe64(s, at + 0x28, p.lastLba);
    for (std::size_t u = 0; u < p.name.size() && u < 36; ++u)
      putLe16(s, at + 0x38 + 2 * u, static_cast<std::uint16_t>(p.name[u]));
  }
}

namespace {

std::uint32_t crcOf(const std::vector<std::uint8_t>& bytes) {
  return static_cast<std::uint32_t>(crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

void writeGptHeader(SyntheticDisk& disk, std::uint64_t at, std::uint64_t other, std::uint64_t entryLba,
                    const GptLayout& layout) {
  std::vector<std::uint8_t> entries;
  const std::uint64_t bytes = std::uint64_t{layout.entryCount} * layout.entrySize;
  if (bytes <= (1u << 20) && entryLba < static_cast<std::uint64_t>(disk.sectors()) &&
      entryLba + bytes / 512 <= static_cast<std::uint64_t>(disk.sectors())) {
    for (std::uint64_t b = 0; b < bytes; ++b)
      entries.push_back(disk.at(static_cast<std::int64_t>(entryLba + b / 512))[b % 512]);
  }
  Sector& h = disk.at(static_cast<std::int64_t>(at));
  h.fill(0);
  if (layout.signature) putText(h, 0, "EFI PART");
  putLe32(h, 0x08, 0x00010000);
  putLe32(h, 0x0C, 92);
  putLe64(h, 0x18, at);
  putLe64(h, 0x20, other);
  putLe64(h, 0x48, entryLba);
  putLe32(h, 0x50, layout.entryCount);
  putLe32(h, 0x54, layout.entrySize);
  putLe32(h, 0x58, crcOf(entries));
  putLe32(h, 0x10, crcOf(std::vector<std::uint8_t>(h.begin(), h.begin() + 92)));
}

}  // namespace

void writeGpt(SyntheticDisk& disk, const std::vector<GptPart>& parts, const GptLayout& layout) {
  auto protective = std::min<std::int64_t>(disk.sectors() - 1, 0xFFFFFFFF);
  setTableEntry(disk.at(0), 0, 0xEE, 1, static_cast<std::uint32_t>(protective));
  const auto last = static_cast<std::uint64_t>(disk.sectors() - 1);
  writeGptEntries(disk, parts, layout.entryLba, layout.entrySize);
  writeGptHeader(disk, 1, last, layout.entryLba, layout);
  if (layout.backup) {
    const std::uint64_t backupEntries = last - (std::uint64_t{layout.entryCount} * layout.entrySize + 511) / 512;
    writeGptEntries(disk, parts, backupEntries, layout.entrySize);
    writeGptHeader(disk, last, 1, backupEntries, layout);
  }
}

bool FailingSource::readAt(std::int64_t offset, MutableByteSpan out) {
  readOffsets.push_back(offset);
  if (offset + static_cast<std::int64_t>(out.size()) > failFrom_ * 512 && offset < failTo_ * 512) {
    std::fill(out.begin(), out.end(), std::byte{0});
    return false;
  }
  return inner_.readAt(offset, out);
}

}  // namespace quarnel::test
