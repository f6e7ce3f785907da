#include <gtest/gtest.h>

#include <cerrno>

#include "support/test_support.h"
#include "volumes/partition.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using test::rows;
using test::Sector;
using test::SyntheticDisk;
using Rows = std::vector<std::string>;

struct Walked {
  std::int32_t rc = -1;
  std::vector<VolumeRecord> records;
  test::RecordingReporter reporter;
};

Walked walk(readWriteInterface& source, bool gpt = false, bool stop = false) {
  Walked w;
  Partition p;
  p.volumeList = &w.records;
  p.reporter = &w.reporter;
  p.gptMode = gpt ? 1 : 0;
  if (stop) p.job->requestStop();
  w.rc = readPartitionTables(source, p);
  return w;
}

Walked walk(const SyntheticDisk& disk, bool gpt = false, bool stop = false) {
  test::ScratchDir dir;
  FileReadSeek src = disk.open(dir.file("disk.img"));
  return walk(src, gpt, stop);
}

bool anyContains(const std::vector<std::string>& texts, const std::string& part) {
  for (const auto& t : texts)
    if (t.find(part) != std::string::npos) return true;
  return false;
}

TEST(MbrTable, NtfsPartitionAtLba2048) {
  SyntheticDisk disk(411648);
  test::setTableEntry(disk.at(0), 0, 0x07, 2048, 409600);
  disk.put(2048, test::ntfsBootSector(409599));
  Walked w = walk(disk);
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(rows(w.records), Rows{"0|NTFS|200   MB|2048"});
  EXPECT_EQ(w.reporter.statuses, Rows{"found NTFS 1..."});
  EXPECT_TRUE(w.reporter.messages.empty());

  disk.put(2048, test::exfatBootSector(409600));
  w = walk(disk);
  EXPECT_EQ(rows(w.records), Rows{"0|FAT64|200   MB|2048"});
  EXPECT_EQ(w.reporter.statuses, Rows{"found FAT64..."});
}

TEST(MbrTable, TypeNamesAndStatusTexts) {
  struct Case {
    std::uint8_t type;
    std::uint32_t sectors;
    std::string row;
    Rows statuses;
  };
  const Case cases[] = {
      {0x01, 8192, "0|FAT12|4   MB|2048", {}},
      {0x04, 8192, "0|FAT16|4   MB|2048", {"found FAT 16..."}},
      {0x06, 8192, "0|FAT16|4   MB|2048", {"found FAT 16..."}},
      {0x0E, 8192, "0|FAT16|4   MB|2048", {"found FAT 16..."}},
      {0x0B, 8192, "0|FAT32|4   MB|2048", {"found FAT 32..."}},
      {0x0C, 8192, "0|FAT32|4   MB|2048", {"found FAT 32..."}},
      {0x42, 8192, "0|NTFS|4   MB|2048", {"NTFS..."}},
      {0x83, 8192, "0|extX|4   MB|2048", {"found ext2..."}},
      {0x07, 8192, "0|NTFS|4   MB|2048", {"found NTFS 1..."}},  // no boot sector needed
      {0x83, 100, "0|extX|0   MB|2048", {"found ext2..."}},  // listed whatever its size
  };
  for (const auto& c : cases) {
    SyntheticDisk disk(16384);
    test::setTableEntry(disk.at(0), 0, c.type, 2048, c.sectors);
    Walked w = walk(disk);
    EXPECT_EQ(rows(w.records), Rows{c.row}) << int(c.type);
    EXPECT_EQ(w.reporter.statuses, c.statuses) << int(c.type);
  }
}

TEST(MbrTable, EmptySlotHidesNoLaterEntry) {
  SyntheticDisk disk(100000);
  test::setTableEntry(disk.at(0), 0, 0x07, 2048, 20480);
  test::setTableEntry(disk.at(0), 2, 0x83, 40960, 20480);
  test::setTableEntry(disk.at(0), 3, 0x0C, 61440, 20480);
  Walked w = walk(disk);
  EXPECT_EQ(rows(w.records), (Rows{"0|NTFS|10   MB|2048", "1|extX|10   MB|40960", "2|FAT32|10   MB|61440"}));
}

// Primaries NTFS and FAT16, then an extended partition at `base` whose three EBRs hold an
// ext volume, an NTFS volume behind an empty slot, and a type 0x42 volume.
SyntheticDisk diskWithLogicals(std::uint32_t base, std::int64_t sectors = 200000) {
  SyntheticDisk disk(sectors);
  Sector& mbr = disk.at(0);
  test::setTableEntry(mbr, 0, 0x07, 2048, 20480);
  disk.put(2048, test::ntfsBootSector(20479));
  test::setTableEntry(mbr, 1, 0x06, 22528, 20480);
  test::setTableEntry(mbr, 2, 0x0F, base, 90000);
  test::setTableEntry(disk.at(base), 0, 0x83, 2048, 20480);
  test::setTableEntry(disk.at(base), 1, 0x05, 30000, 30000);
  test::setTableEntry(disk.at(base + 30000), 1, 0x07, 2048, 4096);
  disk.put(base + 30000 + 2048, test::ntfsBootSector(4095));
  test::setTableEntry(disk.at(base + 30000), 2, 0x05, 60000, 30000);
  test::setTableEntry(disk.at(base + 60000), 0, 0x42, 63, 2048);
  return disk;
}

TEST(MbrTable, LogicalVolumesFollowThePrimaries) {
  Walked w = walk(diskWithLogicals(100000));
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(rows(w.records), (Rows{"0|NTFS|10   MB|2048", "1|FAT16|10   MB|22528",
                                   "2|extX|10   MB|102048", "3|NTFS|2   MB|132048",
                                   "4|NTFS|1   MB|160063"}));
  EXPECT_EQ(w.reporter.statuses, (Rows{"found NTFS 1...", "found FAT 16...", "found extx...",
                                       "found NTFS...", "found UNKNOWN..."}));
  EXPECT_TRUE(w.reporter.messages.empty());
}

TEST(MbrTable, PrimaryAfterTheExtendedIsListedAfterItsChain) {
  SyntheticDisk disk = diskWithLogicals(100000);
  test::setTableEntry(disk.at(0), 3, 0x0C, 195000, 4096);
  Walked w = walk(disk);
  EXPECT_EQ(w.rc, 0);
  ASSERT_EQ(w.records.size(), 6u);
  EXPECT_EQ(rows(w.records).back(), "5|FAT32|2   MB|195000");
}

TEST(MbrTable, BrokenChainEndsWithAMessage) {
  struct Case {
    const char* name;
    std::uint32_t lastLink;  // link in the third EBR, counted from the base
    Rows records;
    std::string message;
  };
  const Rows all = {"0|NTFS|10   MB|2048", "1|FAT16|10   MB|22528", "2|extX|10   MB|102048",
                    "3|NTFS|2   MB|132048", "4|NTFS|1   MB|160063"};
  const Case cases[] = {
      {"back to the first", 0, all, "links back to sector 100000"},
      {"back to the second", 30000, all, "links back to sector 130000"},
      {"to itself", 60000, all, "links back to sector 160000"},
      {"past the disk", 150000, all, "links to sector 250000, past the end of the disk"},
  };
  for (const auto& c : cases) {
    SyntheticDisk disk = diskWithLogicals(100000);
    test::setTableEntry(disk.at(160000), 1, 0x05, c.lastLink, 1000);
    Walked w = walk(disk);
    EXPECT_EQ(w.rc, 0) << c.name;
    EXPECT_EQ(rows(w.records), c.records) << c.name;
    ASSERT_EQ(w.reporter.messages.size(), 1u) << c.name;
    EXPECT_NE(w.reporter.messages[0].find("at sector 160000"), std::string::npos) << c.name;
    EXPECT_NE(w.reporter.messages[0].find(c.message), std::string::npos) << w.reporter.messages[0];
  }
}

TEST(MbrTable, ExtendedPartitionPastTheDisk) {
  SyntheticDisk disk(50000);
  test::setTableEntry(disk.at(0), 0, 0x07, 2048, 20480);
  test::setTableEntry(disk.at(0), 1, 0x05, 60000, 20480);
  Walked w = walk(disk);
  EXPECT_EQ(rows(w.records), Rows{"0|NTFS|10   MB|2048"});
  ASSERT_EQ(w.reporter.messages.size(), 1u);
  EXPECT_TRUE(anyContains(w.reporter.messages, "sector 60000"));
}

TEST(MbrTable, ChainIsCutAfterFiftyRecords) {
  SyntheticDisk disk(10000);
  test::setTableEntry(disk.at(0), 0, 0x05, 100, 9000);
  for (std::uint32_t i = 0; i < 60; ++i) {
    test::setTableEntry(disk.at(100 + i * 100), 0, 0x83, 50, 10);
    test::setTableEntry(disk.at(100 + i * 100), 1, 0x05, (i + 1) * 100, 100);
  }
  Walked w = walk(disk);
  EXPECT_EQ(w.rc, 0);
  ASSERT_EQ(w.records.size(), 50u);
  EXPECT_EQ(w.records.back().startSector, 100 + 49 * 100 + 50);
  ASSERT_EQ(w.reporter.messages.size(), 1u);
  EXPECT_TRUE(anyContains(w.reporter.messages, "50"));
}

TEST(MbrTable, EntryPastTheDiskIsListedWithAWarning) {
  SyntheticDisk disk(100000);
  test::setTableEntry(disk.at(0), 1, 0x83, 2048, 409600);
  test::setTableEntry(disk.at(0), 2, 0x05, 50000, 40000);
  test::setTableEntry(disk.at(50000), 0, 0x0C, 2048, 80000);
  Walked w = walk(disk);
  EXPECT_EQ(rows(w.records), (Rows{"0|extX|200   MB|2048", "1|FAT32|39   MB|52048"}));
  ASSERT_EQ(w.reporter.messages.size(), 2u);
  EXPECT_NE(w.reporter.messages[0].find("partition table entry 2: sectors 2048 to 411647"), std::string::npos)
      << w.reporter.messages[0];
  EXPECT_NE(w.reporter.messages[1].find("extended boot record at sector 50000: sectors 52048 to 132047"),
            std::string::npos)
      << w.reporter.messages[1];
}

// Sector 0 is a table only when it looks like one. A volume formatted without one is listed
// as it is; boot code read as entries (a boot flag no tool writes) is no table.
TEST(MbrTable, ASectorZeroThatIsNoTable) {
  SyntheticDisk bare(8192);
  bare.put(0, test::ntfsBootSector(8191));
  Sector& code = bare.at(0);
  for (std::size_t i = 0x1BE; i < 0x1FE; ++i) code[i] = static_cast<std::uint8_t>(0x33 + i);  // boot code
  Walked w = walk(bare);
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(rows(w.records), Rows{"0|NTFS|3   MB|0"});
  EXPECT_EQ(w.reporter.messages, Rows{"no partition table; a volume starts at sector 0 (NTFS)"});

  // One entry, spoilt one way each: a boot flag, the signature, a start past the disk.
  struct Case { int entry; std::uint32_t lba; std::size_t at; std::uint8_t value; const char* why; };
  const Case cases[] = {
      {0, 2048, 0x1BE, 0x33, "entry 1 has boot flag 51"},
      {0, 2048, 510, 0x00, "no 0x55AA signature"},
      {1, 900000, 0x1CE, 0x00, "entry 2 starts past the end of the disk"},
  };
  for (const Case& c : cases) {
    SyntheticDisk disk(8192);
    test::setTableEntry(disk.at(0), c.entry, 0x07, c.lba, 4096);
    disk.at(0)[c.at] = c.value;
    w = walk(disk);
    EXPECT_TRUE(w.records.empty()) << c.why;
    EXPECT_EQ(w.reporter.messages, Rows{std::string("sector 0 holds no partition table (") + c.why + ")"});
  }
}

TEST(MbrTable, FailedReadsReturnEio) {
  test::ScratchDir dir;
  SyntheticDisk empty(0);
  FileReadSeek none = empty.open(dir.file("empty.img"));
  Walked w = walk(none);
  EXPECT_EQ(w.rc, EIO);
  EXPECT_TRUE(w.records.empty());

  SyntheticDisk disk = diskWithLogicals(100000);
  FileReadSeek src = disk.open(dir.file("disk.img"));
  test::FailingSource failing(src, 130000);  // the second EBR cannot be read
  w = walk(failing);
  EXPECT_EQ(w.rc, EIO);
  EXPECT_EQ(rows(w.records), (Rows{"0|NTFS|10   MB|2048", "1|FAT16|10   MB|22528", "2|extX|10   MB|102048"}));
}

constexpr std::uint32_t kMsReservedType = 0xE3C9E316;
constexpr std::uint32_t kLinuxType = 0x0FC63DAF;

// A GPT disk: MS reserved, NTFS, FAT32 by mkfs.fat, FAT16 with a 250-sector FAT, exFAT,
// HFS+, HFSX, an unformatted area with a non-ASCII name, and NTFS under 1 MiB.
SyntheticDisk gptDisk() {
  SyntheticDisk disk(300000);
  writeGpt(disk, {
                     {kMsReservedType, 2048, 34815, u"Microsoft reserved partition"},
                     {0xEBD0A0A2, 34816, 67583, u"Basic data partition"},
                     {0xEBD0A0A2, 67584, 137215, u"fat32"},
                     {0xEBD0A0A2, 137216, 157695, u"fat16"},
                     {0xEBD0A0A2, 157696, 174079, u"exfat"},
                     {0x48465300, 174080, 182271, u"apple"},
                     {0x48465300, 182272, 190463, u"apple x"},
                     {kLinuxType, 190464, 210943, u"donn\u00e9es \U0001F600"},
                     {0xEBD0A0A2, 210944, 212991, u"tiny"},
                 });
  disk.put(2048, test::ntfsBootSector(32767));  // a reserved area is skipped whatever it holds
  disk.put(34816, test::ntfsBootSector(32767));
  disk.put(67584, test::fat32BootSector(69632));
  disk.put(137216, test::fat16BootSector(20480, 250));
  disk.put(157696, test::exfatBootSector(16384));
  disk.put(174082, test::hfsPlusHeader(4096, 1024));
  disk.put(182274, test::hfsPlusHeader(4096, 1024, 'X'));
  disk.put(210944, test::ntfsBootSector(2000));
  return disk;
}

TEST(GptTable, ListsVolumesByTheirFirstSector) {
  Walked w = walk(gptDisk(), true);
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(rows(w.records),
            (Rows{"0|NTFS|15   MB|34816", "1|FAT32|34  MB|67584", "2|FAT16|10  MB|137216",
                  "3|FAT64|8  MB|157696", "4|HFS+|3|174080", "5|HFS+|3|182272",
                  "6|donn\u00e9es \U0001F600|9|190464"}));
  EXPECT_EQ(w.reporter.statuses, (Rows{"found NTFS 1...", "found FAT 32...", "found FAT 16...",
                                       "found FAT 64...", "found NTFS 2..."}));
  EXPECT_TRUE(w.reporter.messages.empty());
}

TEST(GptTable, AProtectiveMbrIsReadAsItsGpt) {
  Walked asked = walk(gptDisk(), true);
  Walked found = walk(gptDisk(), false);
  EXPECT_EQ(rows(found.records), rows(asked.records));
  EXPECT_TRUE(found.reporter.messages.empty());

  // A hybrid MBR keeps an ordinary entry beside the protective one; the GPT still decides.
  SyntheticDisk hybrid = gptDisk();
  test::setTableEntry(hybrid.at(0), 1, 0x07, 34816, 32768);
  EXPECT_EQ(rows(walk(hybrid, false).records), rows(asked.records));
}

TEST(GptTable, EntryArrayWhereTheHeaderPutsIt) {
  SyntheticDisk disk(20000);
  // Sector 258's low byte would point at sector 2, which holds a decoy.
  writeGpt(disk, {{kLinuxType, 4096, 6143, u"one"}, {kLinuxType, 6144, 8191, u"two"},
                  {kLinuxType, 8192, 10239, u"three"}},
           {258, 2, 256});
  test::writeGptEntries(disk, {{kLinuxType, 10240, 12287, u"decoy"}}, 2, 128);
  Walked w = walk(disk, true);
  EXPECT_EQ(rows(w.records), (Rows{"0|one|0|4096", "1|two|0|6144"}));
  EXPECT_TRUE(w.reporter.messages.empty());
}

TEST(GptTable, UnusableHeaderFallsBackToSector2) {
  struct Case {
    const char* name;
    test::GptLayout layout;
  };
  const Case cases[] = {
      {"no signature", {2, 128, 128, false}},
      {"entry array in the MBR", {1, 128, 128, true}},
      {"entries of 100 bytes", {2, 128, 100, true}},
      {"entries of 132 bytes", {2, 128, 132, true}},
      {"entries of 8192 bytes", {2, 128, 8192, true}},
      {"no entries", {2, 0, 128, true}},
      {"2 MiB of entries", {2, 16384, 128, true}},
      {"array past the disk", {19990, 128, 128, true}},
      {"absurd sector", {UINT64_MAX, 128, 128, true}},
  };
  for (const auto& c : cases) {
    SyntheticDisk disk(20000);
    writeGpt(disk, {}, c.layout);
    test::writeGptEntries(disk, {{kLinuxType, 4096, 6143, u"data"}}, 2, 128);
    Walked w = walk(disk, true);
    EXPECT_EQ(rows(w.records), Rows{"0|data|0|4096"}) << c.name;
    ASSERT_EQ(w.reporter.messages.size(), 1u) << c.name;
    EXPECT_NE(w.reporter.messages[0].find("GPT header at sector 1"), std::string::npos) << c.name;
    EXPECT_NE(w.reporter.messages[0].find("from sector 2"), std::string::npos) << c.name;
  }
}

TEST(GptTable, EmptyAndUnusableSlotsAreSkipped) {
  struct Case {
    const char* name;
    test::GptPart second;
    Rows expected;
    bool warned;
  };
  const Case cases[] = {
      {"empty", {0, 0, 0, u""}, {"0|first|0|4096", "1|after|0|8192"}, false},
      {"starts at sector 2", {kLinuxType, 2, 4095, u"low"}, {"0|first|0|4096", "1|after|0|8192"}, true},
      {"ends before it starts", {kLinuxType, 7000, 6999, u"back"}, {"0|first|0|4096", "1|after|0|8192"}, true},
      {"0x30 in the type", {0x11113011, 6144, 8191, u"odd type"},
       {"0|first|0|4096", "1|odd type|0|6144", "2|after|0|8192"}, false},
  };
  for (const auto& c : cases) {
    SyntheticDisk disk(20000);
    writeGpt(disk, {{kLinuxType, 4096, 6143, u"first"}, c.second, {kLinuxType, 8192, 10239, u"after"}});
    Walked w = walk(disk, true);
    EXPECT_EQ(rows(w.records), c.expected) << c.name;
    ASSERT_EQ(w.reporter.messages.size(), c.warned ? 1u : 0u) << c.name;
    if (c.warned) {
      EXPECT_NE(w.reporter.messages[0].find("GPT entry 2"), std::string::npos) << w.reporter.messages[0];
    }
  }

  SyntheticDisk many(20000);
  std::vector<test::GptPart> parts;
  for (std::uint64_t i = 0; i < 80; ++i) parts.push_back({kLinuxType, 100 + i * 10, 109 + i * 10, u"p"});
  writeGpt(many, parts);
  EXPECT_EQ(walk(many, true).records.size(), 80u);

  // Slots that cannot be partitions are said up to eight times, then counted.
  SyntheticDisk junk(20000);
  std::vector<test::GptPart> bad(20, {kLinuxType, 1, 1, u"bad"});
  bad.push_back({kLinuxType, 4096, 6143, u"good"});
  writeGpt(junk, bad);
  Walked w = walk(junk, true);
  EXPECT_EQ(rows(w.records), Rows{"0|good|0|4096"});
  ASSERT_EQ(w.reporter.messages.size(), 9u);
  EXPECT_EQ(w.reporter.messages[8], "12 more unusable GPT entries skipped.");
}

// Damage to the primary copy is met by the backup at the end of the disk; with no sound copy
// left the entries that can be read are still taken.
TEST(GptTable, ADamagedPrimaryFallsBackToTheBackup) {
  const Rows both{"0|one|0|4096", "1|two|0|6144"};
  struct Case {
    const char* name;
    void (*damage)(SyntheticDisk&);
    bool backup;
    Rows expected;
    const char* said;
  };
  const Case cases[] = {
      {"header zeroed", [](SyntheticDisk& d) { d.at(1).fill(0); }, true, both,
       "has no \"EFI PART\" signature; reading the backup GPT at sector 19999"},
      {"a header field changed", [](SyntheticDisk& d) { d.at(1)[0x50] = 127; }, true, both,
       "fails its CRC; reading the backup GPT at sector 19999"},
      {"an entry changed", [](SyntheticDisk& d) { d.at(2)[0x38] = 'x'; }, true, both,
       "has a partition entry array that fails its CRC; reading the backup GPT at sector 19999"},
      {"an entry changed, no backup", [](SyntheticDisk& d) { d.at(2)[0x38] = 'x'; }, false,
       {"0|xne|0|4096", "1|two|0|6144"}, "and the backup GPT at sector 19999 has no \"EFI PART\" signature; reading its entries as they stand"},
      {"header zeroed, backup's entry changed",
       [](SyntheticDisk& d) {
         d.at(1).fill(0);
         d.at(19999 - 32)[0x38] = 'x';
       },
       true, {"0|xne|0|4096", "1|two|0|6144"}, "reading the backup's entries as they stand"},
  };
  for (const auto& c : cases) {
    SyntheticDisk disk(20000);
    test::GptLayout layout;
    layout.backup = c.backup;
    writeGpt(disk, {{kLinuxType, 4096, 6143, u"one"}, {kLinuxType, 6144, 8191, u"two"}}, layout);
    c.damage(disk);
    Walked w = walk(disk, false);
    EXPECT_EQ(rows(w.records), c.expected) << c.name;
    ASSERT_EQ(w.reporter.messages.size(), 1u) << c.name;
    EXPECT_NE(w.reporter.messages[0].find(c.said), std::string::npos) << c.name << ": " << w.reporter.messages[0];
  }
}

TEST(GptTable, StopIsSeenAfterABootSectorMatch) {
  SyntheticDisk disk(20000);
  writeGpt(disk, {{kLinuxType, 2048, 4095, u"raw"}, {0xEBD0A0A2, 4096, 8191, u"a"},
                  {0xEBD0A0A2, 8192, 12287, u"b"}});
  disk.put(4096, test::ntfsBootSector(4095));
  disk.put(8192, test::ntfsBootSector(4095));
  Walked w = walk(disk, true, true);
  EXPECT_EQ(w.rc, 0);
  EXPECT_EQ(rows(w.records), (Rows{"0|raw|0|2048", "1|NTFS|1   MB|4096"}));
}

TEST(GptTable, EntriesPastTheDisk) {
  SyntheticDisk disk(20000);
  writeGpt(disk, {{kLinuxType, 2048, 40959, u"long"}, {kLinuxType, 30000, 40000, u"gone"}});
  Walked w = walk(disk, true);
  EXPECT_EQ(w.rc, EIO);  // the second entry's first sector cannot be read
  EXPECT_EQ(rows(w.records), Rows{"0|long|18|2048"});
  ASSERT_EQ(w.reporter.messages.size(), 2u);
  EXPECT_NE(w.reporter.messages[0].find("GPT entry 1 (\"long\"): sectors 2048 to 40959"), std::string::npos)
      << w.reporter.messages[0];
  EXPECT_NE(w.reporter.messages[1].find("GPT entry 2 (\"gone\")"), std::string::npos);
}

}  // namespace
}  // namespace quarnel
