// Synthetic disks for the volume-discovery tests: sparse image files built sector by
// sector, the boot sectors and partition tables placed on them, and a reporter that keeps
// everything a walk or scan says.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "storage/file_read_seek.h"
#include "volumes/partition.h"

namespace quarnel::test {

using Sector = std::array<std::uint8_t, 512>;

class RecordingReporter : public VolumeReporter {
 public:
  void status(std::string_view t) override { statuses.emplace_back(t); }
  void message(std::string_view t) override { messages.emplace_back(t); }
  void progressRange(std::int64_t lo, std::int64_t hi) override { range = {lo, hi}; }
  void progressPosition(std::int64_t p) override { positions.push_back(p); }
  void scanRunning(bool running) override { filterStates.push_back(!running); }
  void found(const VolumeRecord& r) override {
    foundRecords.push_back(r);
    if (onFound) onFound(r);
  }

  std::vector<std::string> statuses, messages;
  std::vector<VolumeRecord> foundRecords;
  std::vector<bool> filterStates;
  std::vector<std::int64_t> positions;
  std::array<std::int64_t, 2> range{-1, -1};
  std::function<void(const VolumeRecord&)> onFound;
};

// "index|file system|size text|start" per record, for comparing whole lists at once.
std::vector<std::string> rows(const std::vector<VolumeRecord>& records);

class SyntheticDisk {
 public:
  explicit SyntheticDisk(std::int64_t sectors) : sectors_(sectors) {}
  std::int64_t sectors() const { return sectors_; }
  Sector& at(std::int64_t sector) { return data_[sector]; }
  void put(std::int64_t sector, const Sector& s) { data_[sector] = s; }
  // Writes the image sparsely to path and opens it.
  FileReadSeek open(const std::string& path) const;

 private:
  std::int64_t sectors_;
  std::map<std::int64_t, Sector> data_;
};

void putLe16(Sector& s, std::size_t at, std::uint16_t v);
void putLe32(Sector& s, std::size_t at, std::uint32_t v);
void putLe64(Sector& s, std::size_t at, std::uint64_t v);
void putBe32(Sector& s, std::size_t at, std::uint32_t v);
void putText(Sector& s, std::size_t at, const std::string& text);

Sector ntfsBootSector(std::uint64_t totalSectors);
Sector exfatBootSector(std::uint64_t volumeLength);

struct FatBpb {
  std::string oem = "mkfs.fat";
  std::uint8_t jump0 = 0xEB;
  std::uint8_t jump1 = 0x3C;
  std::uint16_t bytesPerSector = 512;
  std::uint8_t sectorsPerCluster = 4;
  std::uint16_t reservedSectors = 4;
  std::uint8_t fatCount = 2;
  std::uint16_t totalSectors16 = 0;
  std::uint16_t sectorsPerFat16 = 0;
  std::uint32_t totalSectors32 = 0;
  bool bootSignature = true;
};
Sector fatBootSector(const FatBpb& bpb);
Sector fat16BootSector(std::uint16_t totalSectors, std::uint16_t sectorsPerFat = 32);
Sector fat32BootSector(std::uint32_t totalSectors);
// An HFS+ ("H+") or HFSX ("HX") volume header.
Sector hfsPlusHeader(std::uint32_t blockSize, std::uint32_t totalBlocks, char kind = '+');

// An MBR or EBR entry; also writes the 0x55 0xAA signature.
void setTableEntry(Sector& s, int index, std::uint8_t type, std::uint32_t lba, std::uint32_t sectors);

struct GptPart {
  std::uint32_t typeHead = 0xEBD0A0A2;  // first four bytes of the type GUID (basic data)
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::u16string name;
};
struct GptLayout {
  std::uint64_t entryLba = 2;
  std::uint32_t entryCount = 128;
  std::uint32_t entrySize = 128;
  bool signature = true;
  bool backup = false;  // also the backup header in the last sector, its entries before it
};
// A protective MBR, the header in sector 1 and the entry array the layout names, with the
// CRCs a partitioning tool writes.
void writeGpt(SyntheticDisk& disk, const std::vector<GptPart>& parts, const GptLayout& layout = {});
// Only the entries, at entryLba with the given stride.
void writeGptEntries(SyntheticDisk& disk, const std::vector<GptPart>& parts, std::uint64_t entryLba,
                     std::uint32_t entrySize);

// Passes reads through, failing (as zeros) those that touch sectors failFrom to failTo
// (exclusive; to the end by default); counts reads.
class FailingSource : public readWriteInterface {
 public:
  FailingSource(readWriteInterface& inner, std::int64_t failFrom, std::int64_t failTo = INT64_MAX / 512)
      : inner_(inner), failFrom_(failFrom), failTo_(failTo) {}
  bool open(const std::string&) override { return true; }
  bool readAt(std::int64_t offset, MutableByteSpan out) override;
  std::int64_t sizeSectors() const override { return inner_.sizeSectors(); }
  std::vector<std::int64_t> readOffsets;

 private:
  readWriteInterface& inner_;
  std::int64_t failFrom_, failTo_;
};

}  // namespace quarnel::test
