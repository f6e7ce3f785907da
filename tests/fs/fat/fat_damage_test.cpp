// Damaged copies of the fixtures: chains that loop or leave the volume, folders that point
// at their parents or at file data, absurd sizes, stray long names, wiped boot sectors.
// Each ends with a listing (the rest of the volume intact), never a hang or a crash.
#include <gtest/gtest.h>

#include "fs/fat/fat32_class.h"
#include "fs/fat/fat64_class.h"
#include "fs/fat/fat_test_support.h"
#include "recovery/fat_views.h"

namespace quarnel {
namespace {

using test::MemoryDisk;

// A copy of the FAT32 fixture and where its entries are.
class FatDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = test::fatImage("fat_fat32.img");
    if (!disk_) GTEST_SKIP();
    Fat32Class p;
    p.attachSource(*disk_, 0);
    p.setVolumeSize(disk_->bytes().size());
    ASSERT_TRUE(p.checkBootSector());
    geo_ = p.geometry();
  }

  // The 8.3 slot that holds name (11 bytes, padded as on disk).
  std::uint64_t slot(const std::string& name) {
    const std::int64_t at = disk_->find(name);
    EXPECT_GE(at, 0) << name;
    return static_cast<std::uint64_t>(std::max<std::int64_t>(at, 0));
  }
  std::uint32_t clusterAt(std::uint64_t s) {
    const auto& b = disk_->bytes();
    return std::uint32_t{b[s + 20]} << 16 | std::uint32_t{b[s + 21]} << 24 | b[s + 26] | std::uint32_t{b[s + 27]} << 8;
  }
  void setCluster(std::uint64_t s, std::uint32_t c) {
    disk_->putLe16(s + 20, static_cast<std::uint16_t>(c >> 16));
    disk_->putLe16(s + 26, static_cast<std::uint16_t>(c & 0xFFFF));
  }
  std::uint64_t fatEntry(std::uint32_t c) const { return geo_.fatOffset + 4ull * c; }
  std::uint32_t next(std::uint32_t c) const {
    const auto& b = disk_->bytes();
    const std::uint64_t at = fatEntry(c);
    return (b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24) & 0x0FFFFFFF;
  }

  std::unique_ptr<ParsedVolume> parse() {
    std::string error;
    auto v = parseFatVolume(*disk_, test::fatRecord("FAT32"), {}, silentReporter(), error);
    EXPECT_TRUE(v) << error;
    return v;
  }
  std::size_t childCount(ParsedVolume& v, const std::string& path) {
    const auto paths = test::pathsOf(v.view());
    auto it = paths.find(path);
    return it == paths.end() ? 0 : v.view().children(it->second).size();
  }

  std::unique_ptr<MemoryDisk> disk_;
  FatGeometry geo_;
};

TEST_F(FatDamage, AFolderChainThatLoopsEndsWhereItReturns) {
  std::uint32_t c = clusterAt(slot("MANY       "));
  while (next(c) < 0x0FFFFFF8) c = next(c);
  disk_->putLe32(fatEntry(c), clusterAt(slot("MANY       ")));  // the last cluster leads back to the first
  auto v = parse();
  ASSERT_TRUE(v);
  EXPECT_EQ(childCount(*v, "/Many"), 120u);
}

TEST_F(FatDamage, ChainsThatLeaveTheVolumeEndThere) {
  const std::uint32_t first = clusterAt(slot("BIG     DAT"));
  for (std::uint32_t bad : {0x0FFFFFF0u, 1u, 0u, 0x0FFFFFF7u}) {
    disk_->putLe32(fatEntry(first + 3), bad);
    auto v = parse();
    ASSERT_TRUE(v);
    const auto paths = test::pathsOf(v->view());
    bool complete = true;
    test::contentSha(v->view(), paths.at("/big.dat"), &complete);
    EXPECT_FALSE(complete) << std::hex << bad;
    EXPECT_EQ(test::contentSha(v->view(), paths.at("/Documents/Archive/Deep/leaf.bin")),
              "b46337d1bb32ee43fe803e0d434e20e7f4d4a661c73149786d9184b86a7a782a");
  }
}

TEST_F(FatDamage, FoldersThatPointBackOrAtFileDataHaveNoChildren) {
  const std::uint32_t documents = clusterAt(slot("DOCUME~1   "));
  setCluster(slot("ARCHIVE    "), documents);       // into its own parent
  setCluster(slot("EMPTYF~1   "), geo_.rootCluster);  // into the root
  setCluster(slot("FRAG       "), clusterAt(slot("BIG     DAT")));  // into a file's data
  auto v = parse();
  ASSERT_TRUE(v);
  EXPECT_EQ(childCount(*v, "/Documents/Archive"), 0u);
  EXPECT_EQ(childCount(*v, "/Empty Folder"), 0u);
  EXPECT_EQ(childCount(*v, "/frag"), 0u);
  EXPECT_EQ(childCount(*v, "/Documents"), 2u);
  EXPECT_EQ(childCount(*v, "/Many"), 120u);
}

TEST_F(FatDamage, AbsurdSizesAndClustersReadOnlyWhatIsThere) {
  disk_->putLe32(slot("README  TXT") + 28, 0xFFFFFFFF);
  const std::uint64_t deleted = slot("\xE5" "ELME   TXT");
  disk_->putLe32(deleted + 28, 0xFFFFFFFF);  // read from consecutive clusters to the volume's end
  setCluster(slot("ONE     BIN"), 0x0FFFFFF0);
  auto v = parse();
  ASSERT_TRUE(v);
  const auto paths = test::pathsOf(v->view());
  EXPECT_EQ(v->view().size(paths.at("/readme.txt")), 0xFFFFFFFFu);
  for (const char* p : {"/readme.txt", "/\xEF\xBF\xA5" "ELME.TXT", "/one.bin"}) {
    bool complete = true;
    test::contentSha(v->view(), paths.at(p), &complete);
    EXPECT_FALSE(complete) << p;
  }
}

// A long-name run whose 8.3 entry was overwritten does not rename the entry that now
// stands there: the checksum no longer matches.
TEST_F(FatDamage, AStrayLongNameRunDoesNotNameTheNextEntry) {
  const std::uint64_t report = slot("LONGFI~1TXT");
  const std::uint64_t one = slot("ONE     BIN");
  std::copy_n(disk_->bytes().begin() + static_cast<std::ptrdiff_t>(one), 32,
              disk_->bytes().begin() + static_cast<std::ptrdiff_t>(report));
  auto v = parse();
  ASSERT_TRUE(v);
  const auto paths = test::pathsOf(v->view());
  EXPECT_FALSE(paths.count("/Long File Name Report.txt"));
  int ones = 0;
  for (EntryId e : v->view().children(v->view().root())) ones += v->view().name(e) == "one.bin";
  EXPECT_EQ(ones, 2);
}

// "Long File Name Report.txt" takes two long-name pieces before its 8.3 entry: 0x42 then
// 0x01. A piece out of order, numbered wrongly or carrying another checksum names nothing,
// and the entry shows its 8.3 name.
TEST_F(FatDamage, LongNamePiecesMustRunInOrderWithOneChecksum) {
  const std::uint64_t entry = slot("LONGFI~1TXT");
  const std::uint64_t first = entry - 64;  // 0x42, the name's end
  const std::uint64_t second = entry - 32;  // 0x01, its beginning
  ASSERT_EQ(disk_->bytes()[first], 0x42);
  ASSERT_EQ(disk_->bytes()[second], 0x01);
  struct Case {
    const char* name;
    void (*damage)(MemoryDisk&, std::uint64_t first, std::uint64_t second);
    bool named;
  };
  const Case cases[] = {
      {"as formatted", [](MemoryDisk&, std::uint64_t, std::uint64_t) {}, true},
      {"pieces swapped",
       [](MemoryDisk& d, std::uint64_t a, std::uint64_t b) {
         std::swap_ranges(d.bytes().begin() + static_cast<std::ptrdiff_t>(a),
                          d.bytes().begin() + static_cast<std::ptrdiff_t>(a + 32),
                          d.bytes().begin() + static_cast<std::ptrdiff_t>(b));
       },
       false},
      {"second piece numbered 2", [](MemoryDisk& d, std::uint64_t, std::uint64_t b) { d.bytes()[b] = 0x02; }, false},
      {"first piece says three", [](MemoryDisk& d, std::uint64_t a, std::uint64_t) { d.bytes()[a] = 0x43; }, false},
      {"one piece of another name", [](MemoryDisk& d, std::uint64_t, std::uint64_t b) { d.bytes()[b + 13] ^= 0x5A; }, false},
  };
  const std::vector<std::uint8_t> formatted = disk_->bytes();
  for (const auto& c : cases) {
    disk_->bytes() = formatted;
    c.damage(*disk_, first, second);
    auto v = parse();
    ASSERT_TRUE(v);
    const auto paths = test::pathsOf(v->view());
    EXPECT_EQ(paths.count("/Long File Name Report.txt"), c.named ? 1u : 0u) << c.name;
    EXPECT_EQ(paths.count("/LONGFI~1.TXT"), c.named ? 0u : 1u) << c.name;
  }
}

TEST_F(FatDamage, AWipedBootSectorIsNotFat32AndAnEmptyVolumeHasNoCandidates) {
  disk_->zero(0, 512);
  std::string error;
  EXPECT_FALSE(parseFatVolume(*disk_, test::fatRecord("FAT32"), {}, silentReporter(), error));
  EXPECT_EQ(error, "Selected Drive is not in Fat32 Format");

  MemoryDisk blank(std::vector<std::uint8_t>(4 << 20));
  ParseOptions advanced;
  advanced.mode = RecoveryMode::Advanced;
  advanced.candidate = 0;
  for (const char* fs : {"FAT32", "FAT16"}) {
    EXPECT_FALSE(parseFatVolume(blank, test::fatRecord(fs), advanced, silentReporter(), error));
    EXPECT_EQ(error, "No File system Entry Found.Process cannot be continue...");
  }
}

// exFAT: a root chain that loops, a folder claiming a huge contiguous length, a chained
// file whose chain points outside the volume.
TEST(ExFatDamage, LoopsAndLengthsAreBounded) {
  auto disk = test::fatImage("fat_exfat.img");
  if (!disk) GTEST_SKIP();
  Fat64Class p;
  p.attachSource(*disk, 0);
  p.setVolumeSize(disk->bytes().size());
  ASSERT_TRUE(p.checkBootSector());
  const FatGeometry g = p.geometry();
  disk->putLe32(g.fatOffset + 4ull * g.rootCluster, g.rootCluster);
  // The "Documents" set: its File entry's name entry holds "Documents"; the Stream entry
  // stands just before that.
  const std::string name = std::string("D\0o\0c\0u\0m\0e\0n\0t\0s\0", 18);
  const std::int64_t nameAt = disk->find(name, 2);
  ASSERT_GT(nameAt, 0);
  const std::uint64_t stream = static_cast<std::uint64_t>(nameAt) / 32 * 32 - 32;
  ASSERT_EQ(disk->bytes()[stream], 0xC0);
  disk->putLe32(stream + 8, 0xFFFFFFFF);
  disk->putLe32(stream + 12, 0xFFFF);
  disk->putLe32(stream + 24, 0xFFFFFFFF);
  disk->putLe32(stream + 28, 0xFFFF);

  std::string error;
  auto v = parseFatVolume(*disk, test::fatRecord("FAT64"), {}, silentReporter(), error);
  ASSERT_TRUE(v) << error;
  const auto paths = test::pathsOf(v->view());
  EXPECT_TRUE(paths.count("/Documents/notes.txt"));
  EXPECT_TRUE(paths.count("/grown folder/late entry 39.txt"));
}

// An exFAT set whose secondary count or set checksum does not hold is still listed, and
// said to be damaged; a live set never takes a deleted set's entries, nor the reverse.
TEST(ExFatDamage, EntrySetsAreCheckedByCountAndChecksum) {
  const auto formatted = test::fatImage("fat_exfat.img");
  if (!formatted) GTEST_SKIP();
  const std::string name = std::string("n\0o\0t\0e\0s\0.\0t\0x\0t\0", 18);
  const std::int64_t nameAt = formatted->find(name, 2);
  ASSERT_GT(nameAt, 0);
  const auto file = static_cast<std::uint64_t>(nameAt) / 32 * 32 - 64;
  ASSERT_EQ(formatted->bytes()[file], 0x85);
  struct Case {
    const char* name;
    void (*damage)(MemoryDisk&, std::uint64_t file);
    const char* path;  // still listed as
    const char* said;  // empty: no warning
  };
  const Case cases[] = {
      {"as formatted", [](MemoryDisk&, std::uint64_t) {}, "/Documents/notes.txt", ""},
      {"a name character changed", [](MemoryDisk& d, std::uint64_t f) { d.bytes()[f + 64 + 2] = 'N'; },
       "/Documents/Notes.txt", "1 exFAT entry sets (1 live, 0 deleted) fail their secondary count or set checksum"},
      {"secondary count 1", [](MemoryDisk& d, std::uint64_t f) { d.bytes()[f + 1] = 1; }, "/Documents/notes.txt",
       "1 exFAT entry sets (1 live, 0 deleted)"},
      // A name entry whose in-use bit is clear is no part of a live set: the name is empty.
      {"name entry deleted", [](MemoryDisk& d, std::uint64_t f) { d.bytes()[f + 64] = 0x41; }, "/Documents/",
       "1 exFAT entry sets (1 live, 0 deleted)"},
  };
  for (const auto& c : cases) {
    auto disk = test::fatImage("fat_exfat.img");
    c.damage(*disk, file);
    std::string error;
    struct : Reporter {
      void warning(WarningKind, std::string_view t) override { messages.emplace_back(t); }
      std::vector<std::string> messages;
    } reporter;
    auto v = parseFatVolume(*disk, test::fatRecord("FAT64"), {}, reporter, error);
    ASSERT_TRUE(v) << error;
    const auto paths = test::pathsOf(v->view());
    EXPECT_TRUE(paths.count(c.path)) << c.name;
    if (*c.said == 0) {
      EXPECT_TRUE(reporter.messages.empty()) << c.name << ": " << reporter.messages[0];
    } else {
      ASSERT_EQ(reporter.messages.size(), 1u) << c.name;
      EXPECT_NE(reporter.messages[0].find(c.said), std::string::npos) << reporter.messages[0];
    }
  }
}

}  // namespace
}  // namespace quarnel
