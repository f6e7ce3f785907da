// The ext and HFS+ views over volumes that mke2fs, debugfs and xorriso made: every entry the
// tools stored is listed with its path, size and time, and saves byte for byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/raw_file.h"
#include "recovery/entry_paths.h"
#include "recovery/ext_view.h"
#include "recovery/hfs_view.h"
#include "recovery/save_walk.h"
#include "storage/file_read_seek.h"
#include "storage/file_read_seek_raid.h"
#include "support/test_support.h"
#include "volumes/volume_test_support.h"

namespace quarnel {
namespace {

using Sha256 = test::ShaSink;

struct Truth {
  std::string kind, deleted, size, modified, sha, path;
};

std::vector<Truth> readTruth(const std::string& name) {
  std::ifstream in(std::string(QUARNEL_SOURCE_DIR) + "/tests/fixtures/" + name);
  std::vector<Truth> out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    Truth t;
    std::getline(s, t.kind, '\t');
    std::getline(s, t.deleted, '\t');
    std::getline(s, t.size, '\t');
    std::getline(s, t.modified, '\t');
    std::getline(s, t.sha, '\t');
    std::getline(s, t.path);
    out.push_back(t);
  }
  return out;
}

std::string shaOf(EntryView& v, EntryId e) {
  Sha256 sha;
  EXPECT_TRUE(v.writeContent(e, sha)) << v.name(e);
  return sha.hex();
}

VolumeRecord recordAt(const char* fs, std::int64_t start, std::int64_t mib) {
  VolumeRecord r;
  r.fileSystem = fs;
  r.volumeSizeText = volumeSizeText(mib, SizeStyle::ThreeBlanks);
  r.startSector = start;
  return r;
}

struct Opened {
  FileReadSeek disk;
  std::unique_ptr<ParsedVolume> volume;
};

std::unique_ptr<Opened> open(const std::string& image, const VolumeRecord& record,
                             RecoveryMode mode = RecoveryMode::Standard) {
  auto o = std::make_unique<Opened>();
  RawFile f;
  if (!f.open(test::fixture(image))) return nullptr;
  o->disk = FileReadSeek(std::move(f));
  ParseOptions options;
  options.mode = mode;
  std::string error;
  o->volume = record.fileSystem == "HFS+"
                  ? parseHfsVolume(o->disk, record, options, silentReporter(), error)
                  : parseExtVolume(o->disk, record, options, silentReporter(), error);
  EXPECT_TRUE(o->volume) << image << ": " << error;
  return o->volume ? std::move(o) : nullptr;
}

// Every line of the ground truth, and nothing else, as the listing gives it; content
// compared wherever the tools stored some.
void expectMatchesTruth(EntryView& v, const std::vector<Truth>& truth, const std::string& label) {
  std::map<std::string, Truth> want;
  for (const Truth& t : truth) want[t.path + "|" + t.deleted] = t;
  std::map<std::string, EntryId> got;
  for (const ListedEntry& l : listFolder(v, v.root(), "/", true)) {
    const std::string key = l.path + "|" + (v.deleted(l.entry) ? "1" : "0");
    EXPECT_TRUE(got.emplace(key, l.entry).second) << label << ": listed twice: " << key;
    EXPECT_TRUE(want.count(key)) << label << ": not in the ground truth: " << key;
  }
  for (const auto& [key, t] : want) {
    auto it = got.find(key);
    if (it == got.end()) {
      ADD_FAILURE() << label << ": missing " << key;
      continue;
    }
    const EntryId e = it->second;
    EXPECT_EQ(v.isFolder(e) ? "d" : "f", t.kind) << label << " " << key;
    EXPECT_EQ(isoUtcText(v.modifiedTime(e)), t.modified) << label << " " << key;
    if (t.kind == "f") {
      EXPECT_EQ(std::to_string(v.size(e)), t.size) << label << " " << key;
    }
    if (t.sha != "-") {
      EXPECT_EQ(shaOf(v, e), t.sha) << label << " " << key;
    }
    EXPECT_EQ(t.sha != "-" || t.kind == "d", t.kind == "d" ? v.isFolderForSaving(e) : v.isFileForSaving(e))
        << label << " " << key;
  }
}

TEST(ExtViews, ListEveryEntryTheToolsStoredAndSaveItsContent) {
  struct Case {
    const char* image;
    const char* truth;
    std::int64_t mib;
  } cases[] = {
      // 1 KiB blocks, a partial last group, every level of indirect blocks, deleted files
      // and a deleted folder that debugfs left their maps.
      {"ext_ext2.img", "ext/ext2.tsv", 12},
      {"ext_ext3.img", "ext/ext3.tsv", 8},
      // 64bit descriptors, extents with an index node, a hash-tree folder, holes.
      {"ext_ext4.img", "ext/ext4.tsv", 24},
      // Inline data in files and folders, an extent tree of depth 2.
      {"ext_ext4_1k.img", "ext/ext4_1k.tsv", 8},
      // Every one of its 16 inodes in use: the last, inode 16, holds f5.txt.
      {"ext_last_inode.img", "ext/last_inode.tsv", 1},
  };
  for (const Case& c : cases) {
    auto o = open(c.image, recordAt("extX", 0, c.mib));
    ASSERT_TRUE(o) << c.image;
    expectMatchesTruth(o->volume->view(), readTruth(c.truth), c.image);
  }
}

TEST(HfsViews, ListEveryEntryTheToolsStoredAndSaveItsContent) {
  for (const auto& [image, truth] : {std::pair{"hfs_basic.img", "hfs/basic.tsv"},
                                     std::pair{"hfs_many.img", "hfs/many.tsv"}}) {
    auto o = open(image, recordAt("HFS+", 0, 2));
    ASSERT_TRUE(o) << image;
    expectMatchesTruth(o->volume->view(), readTruth(truth), image);
  }
}

// A B-tree node moves and the freed node keeps its old records: xorriso's catalog with its
// leaf 3 copied over leaf 41, the index pointing at the copy, and one name changed in the
// freed node 3. Only the live tree is read in standard mode, so the stale name never shows
// (it would otherwise hide the live record of the same file).
TEST(HfsViews, StandardModeReadsTheLiveCatalogOnly) {
  auto image = test::readFile(test::fixture("hfs_many.img"));
  auto be16 = [&](std::size_t at) { return std::size_t{image[at]} << 8 | image[at + 1]; };
  auto be32 = [&](std::size_t at) { return be16(at) << 16 | be16(at + 2); };
  constexpr std::size_t kCatalog = 2048, kNode = 4096;  // block 1 of 2 KiB; 4 KiB nodes
  auto node = [&](std::size_t n) { return kCatalog + n * kNode; };
  ASSERT_EQ(be32(node(0) + 14 + 2), 1u);  // the root: index node 1
  bool repointed = false;
  for (std::size_t k = 0; k < be16(node(1) + 10); ++k) {
    const std::size_t at = node(1) + be16(node(1) + kNode - 2 * (k + 1));
    const std::size_t child = at + 2 + be16(at);
    if (be32(child) == 3) {
      image[child + 3] = 41;
      repointed = true;
    }
  }
  ASSERT_TRUE(repointed);
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(node(3)), kNode,
              image.begin() + static_cast<std::ptrdiff_t>(node(41)));
  // The first record of node 3 with a name in its key: parent, name length, UTF-16BE name.
  std::string live;
  for (std::size_t k = 0; k < be16(node(3) + 10) && live.empty(); ++k) {
    const std::size_t at = node(3) + be16(node(3) + kNode - 2 * (k + 1));
    const std::size_t units = be16(at + 6);
    if (units == 0 || be16(at + 8 + 2 * units) != 2) continue;  // a file record
    for (std::size_t u = 0; u < units; ++u) live += static_cast<char>(image[at + 9 + 2 * u]);
    image[at + 9] = 'Q';
  }
  ASSERT_FALSE(live.empty());
  const std::string stale = "Q" + live.substr(1);

  test::ScratchDir dir;
  test::writeFile(dir.file("hfs.img"), image);
  RawFile f;
  ASSERT_TRUE(f.open(dir.file("hfs.img")));
  FileReadSeek disk(std::move(f));
  std::string error;
  auto v = parseHfsVolume(disk, recordAt("HFS+", 0, 2), {}, silentReporter(), error);
  ASSERT_TRUE(v) << error;
  std::set<std::string> names;
  for (const ListedEntry& l : listFolder(v->view(), v->view().root(), "/", true)) names.insert(v->view().name(l.entry));
  EXPECT_TRUE(names.count(live)) << live;
  EXPECT_FALSE(names.count(stale)) << stale;
}

TEST(HfsViews, DeepModeFindsTheFilesOfAVolumeWithoutHeaderOrCatalogHeaderNode) {
  VolumeRecord record = recordAt("HFS+", 0, 2);
  {
    RawFile f;
    ASSERT_TRUE(f.open(test::fixture("hfs_wiped.img")));
    FileReadSeek disk(std::move(f));
    test::RecordingReporter reporter;
    std::string error;
    EXPECT_FALSE(parseHfsVolume(disk, record, {}, reporter, error));
    EXPECT_EQ(reporter.statuses.back(), "Work Aborted....");
  }
  auto o = open("hfs_wiped.img", record, RecoveryMode::Deep);
  ASSERT_TRUE(o);
  EntryView& v = o->volume->view();
  // Scan mode keeps no folder structure: every file of the volume, by name, size and content.
  // A file whose recorded parent is the root shows at the top level and again under the folder
  // met before it, so the comparison is of sets (no two files of the fixture are alike).
  std::set<std::string> want;  // name, size and content of every file
  for (const Truth& t : readTruth("hfs/many.tsv"))
    if (t.kind == "f") want.insert(t.path.substr(t.path.rfind('/') + 1) + "|" + t.size + "|" + t.sha);
  std::set<std::string> got;
  bool orphanAtTop = false;
  for (EntryId e : v.children(v.root())) orphanAtTop |= v.name(e) == "ORPHAN_ENTRY";
  EXPECT_TRUE(orphanAtTop);
  for (const ListedEntry& l : listFolder(v, v.root(), "/", true))
    if (!v.isFolder(l.entry))
      got.insert(v.name(l.entry) + "|" + std::to_string(v.size(l.entry)) + "|" + shaOf(v, l.entry));
  EXPECT_EQ(got, want);
}

TEST(ExtViews, RootIsTheVolumeRootAndItsDotRecordIsNeitherListedNorSaved) {
  auto o = open("ext_ext2.img", recordAt("extX", 0, 12));
  ASSERT_TRUE(o);
  EntryView& v = o->volume->view();
  EXPECT_EQ(v.topLevelText(), "ROOT");
  EntryId dot = kNoEntry;
  for (EntryId e : v.children(v.root()))
    if (v.name(e) == ".") dot = e;
  ASSERT_NE(dot, kNoEntry) << "the tree shows the root's own record";
  EXPECT_FALSE(v.isFolderForSaving(dot));
  EXPECT_FALSE(v.isFileForSaving(dot));
  EXPECT_EQ(findPath(v, "/"), v.root());
  EXPECT_EQ(v.savedName(findPath(v, "/ padded name .txt")), "padded name .txt");
  EXPECT_FALSE(v.isFileForSaving(findPath(v, "/a-fifo")));
  EXPECT_FALSE(v.isFileForSaving(findPath(v, "/a-chardev")));
}

// Saving ROOT writes the volume's tree: trimmed names, content with its holes, the inodes'
// modification times, deleted files of ext2 too, and no folder for the "." record.
TEST(ExtViews, SavingRootWritesTheTreeWithTimes) {
  auto o = open("ext_ext2.img", recordAt("extX", 0, 12));
  ASSERT_TRUE(o);
  EntryView& v = o->volume->view();
  test::ScratchDir out;
  JobControl job;
  SaveResult result;
  ASSERT_TRUE(saveFolderContents(v, v.root(), out.path().string(), silentReporter(), job, result).ok());
  EXPECT_TRUE(result.failures.empty()) << result.failures.front();
  std::size_t files = 0;
  for (const Truth& t : readTruth("ext/ext2.tsv")) {
    if (t.kind != "f" || t.sha == "-") continue;
    ++files;
    std::string rel = t.path.substr(1);
    if (rel == " padded name .txt") rel = "padded name .txt";
    const std::string path = (out.path() / rel).string();
    auto bytes = test::readFile(path);
    Sha256 sha;
    sha.write(asBytes(bytes.data(), bytes.size()));
    EXPECT_EQ(sha.hex(), t.sha) << rel;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << rel;
    EXPECT_EQ(isoUtcText(instantFromUnix(st.st_mtime)), t.modified) << rel;
  }
  EXPECT_EQ(result.written, static_cast<std::int64_t>(files));
  EXPECT_FALSE(std::filesystem::exists(out.path() / "_."));
  EXPECT_TRUE(std::filesystem::is_directory(out.path() / "Empty Folder"));
}

// The RAID-5 set of disk_mbr.img with its last member missing gives the same entries and
// content as the disk itself, for the ext4 and the ext2 volume on it.
TEST(ExtViews, RaidWithAMissingMemberReadsAsTheDisk) {
  for (std::int64_t start : {174080, 208896}) {
    auto plain = open("disk_mbr.img", recordAt("extX", start, 16));
    ASSERT_TRUE(plain);
    FileReadSeekRaid raid;
    raid.memberNames = {test::fixture("vhd_r5ls_m0.vhd"), test::fixture("vhd_r5ls_m1.vhd"), kMissingDiskName};
    raid.vhdMembers = 1;
    raid.raidLevel = 5;
    raid.parityLayout = kLeftSymmetric;
    raid.stripeSectors = 128;
    ASSERT_TRUE(raid.open("raid"));
    std::string error;
    auto degraded = parseExtVolume(raid, recordAt("extX", start, 16), {}, silentReporter(), error);
    ASSERT_TRUE(degraded) << error;
    EntryView& a = plain->volume->view();
    EntryView& b = degraded->view();
    auto la = listFolder(a, a.root(), "/", true);
    auto lb = listFolder(b, b.root(), "/", true);
    ASSERT_EQ(la.size(), lb.size());
    ASSERT_GT(la.size(), 10u);
    for (std::size_t i = 0; i < la.size(); ++i) {
      EXPECT_EQ(la[i].path, lb[i].path);
      if (a.isFileForSaving(la[i].entry)) {
        EXPECT_EQ(shaOf(a, la[i].entry), shaOf(b, lb[i].entry)) << la[i].path;
      }
    }
  }
}

}  // namespace
}  // namespace quarnel
