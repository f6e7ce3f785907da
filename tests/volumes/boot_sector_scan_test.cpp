#include <gtest/gtest.h>

#include "platform/raw_file.h"
#include "storage/file_read_seek.h"
#include "support/test_support.h"
#include "volumes/partition.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using test::rows;
using test::SyntheticDisk;
using Rows = std::vector<std::string>;

struct Scanned {
  std::vector<VolumeRecord> records;
  test::RecordingReporter reporter;
};

struct Settings {
  bool skip = false;
  std::int64_t from = 0;
  std::int64_t to = 0;
  bool stopAtFirstFound = false;  // the Stop button, pressed as the first record comes
};

void scan(readWriteInterface& source, Scanned& out, Settings s = {}) {
  Partition p;
  p.volumeList = &out.records;
  p.reporter = &out.reporter;
  p.skipVolumeSize = s.skip ? 1 : 0;
  p.scanStartSector = s.from;
  p.scanEndSector = s.to;
  if (s.stopAtFirstFound) out.reporter.onFound = [&p](const VolumeRecord&) { p.job->requestStop(); };
  scanForBootSectors(p, source);
}

void scan(const SyntheticDisk& disk, Scanned& out, Settings s = {}) {
  test::ScratchDir dir;
  FileReadSeek src = disk.open(dir.file("disk.img"));
  scan(src, out, s);
}

// NTFS at 2048 of 409599 sectors with its backup in the last sector, a FAT16 volume inside
// it, and a FAT16 volume in the sector right after it.
SyntheticDisk ntfsDisk() {
  SyntheticDisk disk(420000);
  disk.put(2048, test::ntfsBootSector(409599));
  disk.put(100000, test::fat16BootSector(8192));
  disk.put(2048 + 409599, test::ntfsBootSector(409599));
  disk.put(2048 + 409599 + 1, test::fat16BootSector(4096));
  return disk;
}

TEST(ScanBootSectors, SkippingJumpsOverEachVolumeFound) {
  Scanned s;
  scan(ntfsDisk(), s, {.skip = true});
  EXPECT_EQ(rows(s.records), (Rows{"0|NTFS|199   MB|2048", "1|FAT16|2  MB|411648"}));
  EXPECT_EQ(rows(s.reporter.foundRecords), rows(s.records));
  EXPECT_EQ(s.reporter.statuses, (Rows{"Scanning partition.....", "found NTFS 1...", "found FAT 16..."}));
  EXPECT_EQ(s.reporter.filterStates, (std::vector<bool>{false, true}));
  EXPECT_EQ(s.reporter.range, (std::array<std::int64_t, 2>{0, 1000}));
  EXPECT_EQ(s.reporter.positions.back(), 1000);
}

TEST(ScanBootSectors, WithoutSkippingTheBackupIsASecondVolume) {
  Scanned s;
  scan(ntfsDisk(), s);
  EXPECT_EQ(rows(s.records), (Rows{"0|NTFS|199   MB|2048", "1|FAT16|4  MB|100000",
                                   "2|NTFS|199   MB|411647", "3|FAT16|2  MB|411648"}));
  EXPECT_EQ(s.reporter.statuses, (Rows{"Scanning partition.....", "found NTFS 1...", "found FAT 16...",
                                       "found NTFS 2...", "found FAT 16..."}));
  // One position per block, rising to the end.
  EXPECT_EQ(s.reporter.positions.size(), (420000u + 2047) / 2048);
  EXPECT_TRUE(std::is_sorted(s.reporter.positions.begin(), s.reporter.positions.end()));
}

TEST(ScanBootSectors, EachFileSystemWithItsStatusAndSize) {
  SyntheticDisk disk(420000);
  disk.put(4096, test::exfatBootSector(16384));
  disk.put(40000, test::fat32BootSector(69632));
  test::FatBpb windows;
  windows.oem = "MSWIN4.1";
  windows.totalSectors16 = 20480;
  windows.sectorsPerFat16 = 128;
  disk.put(120000, test::fatBootSector(windows));
  disk.put(130000, test::fat16BootSector(2047));  // under 1 MiB: announced, not listed
  test::Sector unnamed = test::ntfsBootSector(409599);
  test::putText(unnamed, 3, "XXXX");
  disk.put(140000, unnamed);
  disk.put(150000, test::ntfsBootSector(1000));  // under 1 MiB: silent
  disk.put(409642, test::hfsPlusHeader(4096, 2048));
  disk.put(410002, test::hfsPlusHeader(512, 4096, 'X'));
  disk.put(419000, test::hfsPlusHeader(4096, 200));  // under 1 MiB: silent
  Scanned s;
  scan(disk, s);
  EXPECT_EQ(rows(s.records), (Rows{"0|FAT64|8  MB|4096", "1|FAT32|34  MB|40000", "2|FAT16|10  MB|120000",
                                   "3|HFS+|8  MB|409640", "4|HFS+|2  MB|410000"}));
  EXPECT_EQ(s.reporter.statuses, (Rows{"Scanning partition.....", "found FAT 64...", "found FAT 32...",
                                       "found FAT 16...", "found FAT 16...", "found HFS+...",
                                       "found HFS+..."}));
}

// ext has no boot sector: its primary superblock, 1024 bytes in, places the volume. The
// copies in later groups are not volumes of their own, even without skipping.
TEST(ScanBootSectors, ExtVolumesByTheirPrimarySuperblock) {
  {
    RawFile f;
    ASSERT_TRUE(f.open(test::fixture("ext_ext2.img")));
    FileReadSeek source(std::move(f));
    Scanned s;
    scan(source, s);
    EXPECT_EQ(rows(s.records), (Rows{"0|extX|12  MB|0"}));
    EXPECT_EQ(s.reporter.statuses, (Rows{"Scanning partition.....", "found extx..."}));
  }
  auto superblock = [](std::uint32_t logBlockSize, std::uint32_t perGroup, std::uint16_t group) {
    test::Sector sb{};
    test::putLe32(sb, 0x04, 4096);  // blocks
    test::putLe32(sb, 0x18, logBlockSize);
    test::putLe32(sb, 0x20, perGroup);
    test::putLe16(sb, 0x38, 0xEF53);
    test::putLe16(sb, 0x5A, group);
    return sb;
  };
  SyntheticDisk disk(100000);
  disk.put(1002, superblock(2, 32768, 0));   // 16 MiB of 4 KiB blocks at sector 1000
  disk.put(50002, superblock(7, 32768, 0));  // block size field too large
  disk.put(60002, superblock(0, 8193, 0));   // blocks per group not a multiple of 8
  disk.put(70002, superblock(0, 8192, 1));   // group 1's copy
  Scanned s;
  scan(disk, s);
  EXPECT_EQ(rows(s.records), (Rows{"0|extX|16  MB|1000"}));
}

TEST(ScanBootSectors, RangeExaminesWholeBlocksUpToTheEnd) {
  SyntheticDisk disk(1004096);
  for (std::int64_t at : {999999, 1000000, 1002047, 1002048}) disk.put(at, test::fat16BootSector(4096));
  test::ScratchDir dir;
  FileReadSeek src = disk.open(dir.file("disk.img"));
  test::FailingSource counting(src, INT64_MAX / 512);
  Scanned s;
  scan(counting, s, {.from = 1000000, .to = 1000001});
  EXPECT_EQ(rows(s.records), (Rows{"0|FAT16|2  MB|1000000", "1|FAT16|2  MB|1002047"}));
  // The second block is read before its start is compared with the end.
  EXPECT_EQ(counting.readOffsets, (std::vector<std::int64_t>{1000000 * 512, 1002048 * 512}));
  EXPECT_EQ(s.reporter.positions.size(), 1u);
  EXPECT_EQ(s.reporter.filterStates, (std::vector<bool>{false, true}));
}

TEST(ScanBootSectors, StopKeepsWhatWasFound) {
  SyntheticDisk disk(8192);
  disk.put(100, test::fat16BootSector(4096));
  disk.put(5000, test::fat16BootSector(4096));
  Scanned s;
  scan(disk, s, {.stopAtFirstFound = true});
  EXPECT_EQ(rows(s.records), Rows{"0|FAT16|2  MB|100"});
  EXPECT_EQ(s.reporter.statuses.back(), "Scanned Partitions");
}

// The request belongs to the caller's job: the scan never clears it, so a job stopped
// before the scan finds nothing, and each new scan starts with a job of its own.
TEST(ScanBootSectors, StopRequestIsNeverCleared) {
  SyntheticDisk disk(4096);
  disk.put(100, test::fat16BootSector(4096));
  test::ScratchDir dir;
  FileReadSeek src = disk.open(dir.file("disk.img"));
  std::vector<VolumeRecord> records;
  Partition p;
  p.volumeList = &records;
  JobControl stopped;
  stopped.requestStop();
  p.job = &stopped;
  scanForBootSectors(p, src);  // no reporter: nothing is said
  EXPECT_TRUE(records.empty());
  EXPECT_TRUE(stopped.stopRequested());
  Partition again;
  again.volumeList = &records;
  scanForBootSectors(again, src);
  EXPECT_EQ(rows(records), Rows{"0|FAT16|2  MB|100"});
}

TEST(ScanBootSectors, LastBlockIsShortenedAtTheEndOfTheDisk) {
  SyntheticDisk disk(3000);
  disk.put(2999, test::fat16BootSector(4096));
  Scanned s;
  scan(disk, s);
  EXPECT_EQ(rows(s.records), Rows{"0|FAT16|2  MB|2999"});
  EXPECT_EQ(s.reporter.positions, (std::vector<std::int64_t>{683, 1000}));
  EXPECT_EQ(s.reporter.filterStates, (std::vector<bool>{false, true}));
}

TEST(ScanBootSectors, EmptyDiskFindsNothing) {
  currentDiskSectors = 0;
  Scanned s;
  scan(SyntheticDisk(0), s);
  EXPECT_TRUE(s.records.empty());
  EXPECT_EQ(s.reporter.statuses, Rows{"Scanning partition....."});
  EXPECT_EQ(s.reporter.filterStates, (std::vector<bool>{false, true}));
}

// A degraded array has unreadable stretches exactly where the search must go on: the scan
// passes them, finds what lies after, and says how many blocks it could not read.
TEST(ScanBootSectors, UnreadableBlocksArePassedAndCounted) {
  SyntheticDisk disk(8192);
  disk.put(100, test::fat16BootSector(4096));
  disk.put(6000, test::fat16BootSector(2048));
  test::ScratchDir dir;
  FileReadSeek src = disk.open(dir.file("disk.img"));
  test::FailingSource failing(src, 4200, 4300);  // inside the block from sector 4196
  Scanned s;
  scan(failing, s, {.skip = false});
  EXPECT_EQ(rows(s.records), (Rows{"0|FAT16|2  MB|100", "1|FAT16|1  MB|6000"}));
  EXPECT_EQ(s.reporter.filterStates, (std::vector<bool>{false, true}));
  EXPECT_EQ(s.reporter.messages, std::vector<std::string>{"1 block of 1 MiB could not be read in full; its unreadable sectors were searched as zeros"});
}

TEST(ScanBootSectors, HostileSizesStayInBounds) {
  SyntheticDisk disk(8192);
  disk.put(0, test::hfsPlusHeader(4096, 2048));  // would start before the disk
  disk.put(10, test::ntfsBootSector(UINT64_MAX));
  disk.put(20, test::hfsPlusHeader(0xFFFFFFFF, 0xFFFFFFFF));
  disk.put(30, test::fat16BootSector(4096));
  Scanned noSkip;
  scan(disk, noSkip);
  EXPECT_EQ(rows(noSkip.records), (Rows{"0|NTFS|9007199254740991   MB|10", "1|FAT16|2  MB|30"}));

  disk.put(10, test::fat16BootSector(1));
  Scanned skip;
  scan(disk, skip, {.skip = true});
  // The oversized HFS+ volume is not listed but still skipped over, hiding the FAT16 volume.
  EXPECT_TRUE(skip.records.empty());
  EXPECT_EQ(skip.reporter.positions.back(), 1000);
}

}  // namespace
}  // namespace quarnel
