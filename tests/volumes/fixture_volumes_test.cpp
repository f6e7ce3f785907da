// The walks and the scan over disks that sfdisk and the real formatters made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "volumes/partition.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using Rows = std::vector<std::string>;

enum class How { Tables, GptTables, ScanSkipping };

struct FixtureCase {
  const char* image;
  How how;
  Rows expected;
};

const Rows kGptVolumes{"0|NTFS|15   MB|34816", "1|FAT32|33  MB|67584", "2|FAT64|10  MB|137216",
                       "3|extX|7|157696", "4|HFS+|3|174080", "5|empty space|3|182272"};

struct Found {
  std::vector<std::string> rows;
  std::vector<std::string> messages;
};

// The records the tables (or the scan) of the image at path give, and what was said.
Found walkImage(const std::string& path, How how) {
  Found out;
  RawFile f;
  EXPECT_TRUE(f.open(path)) << path;
  FileReadSeek source(std::move(f));
  std::vector<VolumeRecord> records;
  test::RecordingReporter reporter;
  Partition p;
  p.volumeList = &records;
  p.reporter = &reporter;
  p.gptMode = how == How::GptTables;
  p.skipVolumeSize = 1;
  if (how == How::ScanSkipping) scanForBootSectors(p, source);
  else EXPECT_EQ(readPartitionTables(source, p), 0) << path;
  out.rows = test::rows(records);
  out.messages = reporter.messages;
  return out;
}

TEST(VolumeFixtures, ListsTheVolumesOfRealImages) {
  const FixtureCase cases[] = {
      {"disk_mbr.img", How::Tables,
       {"0|NTFS|16   MB|2048", "1|FAT16|16   MB|34816", "2|FAT64|16   MB|67584",
        "3|FAT32|34   MB|102400", "4|extX|16   MB|174080", "5|extX|16   MB|208896"}},
      {"disk_hole.img", How::Tables, {"0|NTFS|16   MB|2048", "1|FAT16|16   MB|34816"}},
      // The protective MBR sends the walk to the GPT, asked for or not.
      {"disk_gpt.img", How::Tables, kGptVolumes},
      {"disk_gpt.img", How::GptTables, kGptVolumes},
      {"disk_gpt_slots.img", How::Tables, {"0|first|0|2048", "1|third|0|3072", "2|hundredth|0|4096"}},
      // mkfs.fat rounds its volumes down; ext is found by its superblock, sized by its block
      // count; xorriso's HFS+ volume is 66 blocks of 2 KiB, under the 1 MiB a listed volume needs.
      {"disk_mbr.img", How::ScanSkipping,
       {"0|NTFS|15   MB|2048", "1|FAT16|15  MB|34816", "2|FAT64|16  MB|67584", "3|FAT32|33  MB|102400",
        "4|extX|16  MB|174080", "5|extX|16  MB|208896"}},
      {"disk_gpt.img", How::ScanSkipping,
       {"0|NTFS|15   MB|34816", "1|FAT32|33  MB|67584", "2|FAT64|10  MB|137216", "3|extX|8  MB|157696"}},
  };
  for (const auto& c : cases) {
    const Found found = walkImage(test::fixture(c.image), c.how);
    EXPECT_EQ(found.rows, c.expected) << c.image << " " << int(c.how);
    EXPECT_TRUE(found.messages.empty()) << c.image;
  }
}

// sfdisk's disk with its primary GPT header or entry array spoilt: the backup sfdisk wrote at
// the end of the disk gives the same volumes.
TEST(VolumeFixtures, TheBackupGptStandsInForADamagedPrimary) {
  struct Case {
    const char* name;
    std::int64_t byte;
  };
  const Case cases[] = {{"header", 512 + 0x50}, {"entry array", 1024 + 128 + 0x38}};
  for (const auto& c : cases) {
    test::ScratchDir dir;
    const std::string copy = dir.file("disk_gpt.img");
    std::filesystem::copy_file(test::fixture("disk_gpt.img"), copy);
    {
      std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(c.byte);
      f.put('x');
    }
    const Found found = walkImage(copy, How::Tables);
    EXPECT_EQ(found.rows, kGptVolumes) << c.name;
    ASSERT_EQ(found.messages.size(), 1u) << c.name;
    EXPECT_NE(found.messages[0].find("reading the backup GPT at sector 196607 instead"), std::string::npos)
        << found.messages[0];
  }
}

}  // namespace
}  // namespace quarnel
