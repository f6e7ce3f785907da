// Naming records and linking them into the folder tree, on small volumes built by hand.
#include <gtest/gtest.h>

#include "fs/ntfs/ntfs_test_support.h"
#include "platform/text.h"
#include "recovery/ntfs_view.h"

namespace quarnel {
namespace {

using ntfs_test::RecordBuilder;
using ntfs_test::VolumeBuilder;

constexpr std::uint32_t kDirectory = 0x10000000;

ntfs_test::VolumeBuilder volume(std::uint64_t records = 160) {
  VolumeBuilder v(2 << 20, 8, 4, records);
  v.standardRecords();
  return v;
}

std::vector<std::uint8_t> file(std::int64_t parent, const std::u16string& name, std::uint16_t flags = 1) {
  return RecordBuilder(flags).standardInformation(1, 2, 3).fileName(parent, name).build();
}

std::vector<std::uint8_t> folder(std::int64_t parent, const std::u16string& name) {
  return RecordBuilder(3).standardInformation(1, 2, 3).fileName(parent, name, 1, kDirectory).build();
}

std::string nameOf(const ntfs& fs, std::int64_t i) {
  const auto& n = fs.entryList[i].name;
  return n ? utf16ToUtf8(*n) : "(none)";
}

std::vector<std::string> namesOf(const ntfs& fs, const std::vector<std::int64_t>& ids) {
  std::vector<std::string> out;
  for (std::int64_t i : ids) out.push_back(nameOf(fs, i));
  return out;
}

std::vector<std::int64_t> chain(const ntfs& fs, std::int64_t folder) {
  std::vector<std::int64_t> out;
  for (std::int64_t c = fs.entryList[folder].firstChild; c > 0 && out.size() < fs.entryList.size();
       c = fs.entryList[c].nextSibling)
    out.push_back(c);
  return out;
}

std::vector<std::string> viewNames(const NtfsView& view, EntryId folder) {
  std::vector<std::string> out;
  for (EntryId c : view.children(folder)) out.push_back(view.name(c));
  return out;
}

// The folder comes with the name shown: a DOS name pointing elsewhere does not move it.
TEST(NtfsTree, LongNameShowsWhateverTheOrderWithItsOwnFolder) {
  VolumeBuilder v = volume();
  v.record(20, RecordBuilder().fileName(5, u"LONGNA~1.TXT", 2).fileName(30, u"long name.txt", 1).build());
  v.record(21, RecordBuilder().fileName(5, u"long name.txt", 1).fileName(5, u"LONGNA~1.TXT", 2).build());
  v.record(22, RecordBuilder().fileName(5, u"SHORT~1.TXT", 2).build());
  v.record(23, RecordBuilder().fileName(5, std::u16string(255, u'x')).build());
  v.record(24, RecordBuilder().fileName(5, std::u16string(255, u'x')).fileName(5, u"ok", 0).build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  const ntfs& fs = *p->fs;
  EXPECT_EQ(nameOf(fs, 20), "long name.txt");
  EXPECT_EQ(fs.entryList[20].parent, 30);
  EXPECT_EQ(nameOf(fs, 21), "long name.txt");
  EXPECT_EQ(nameOf(fs, 22), "SHORT~1.TXT");
  EXPECT_EQ(nameOf(fs, 23), "(none)");
  EXPECT_EQ(nameOf(fs, 24), "ok");
}

TEST(NtfsTree, RootChildrenInRecordOrderThenOrphanEntry) {
  VolumeBuilder v = volume();
  v.record(6, file(5, u"a.txt"));
  v.record(7, folder(5, u"sub"));
  v.record(8, file(7, u"inner.txt"));
  v.record(9, file(5, u"gone.txt", 0));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  const ntfs& fs = *p->fs;
  EXPECT_EQ(fs.rootIndex, 5);
  EXPECT_EQ(namesOf(fs, fs.topLevelEntries()), (std::vector<std::string>{"$MFTMirr", "$LogFile", "$Volume", "$AttrDef",
                                                                         "a.txt", "sub", "gone.txt", "ORPHAN_ENTRY"}));
  EXPECT_EQ(chain(fs, 7), std::vector<std::int64_t>{8});

  // The view, which the window's tree shows, has the same items at its top after $MFT
  // (record 0, which the parser's links cannot hold), the deleted one marked.
  NtfsView view(*p->fs);
  const std::vector<EntryId> top = view.children(view.root());
  ASSERT_EQ(top.size(), 9u);
  EXPECT_EQ(view.name(top[0]), "$MFT");
  EXPECT_TRUE(view.isFolder(top[6]));
  EXPECT_TRUE(view.deleted(top[7]));
  EXPECT_EQ(view.name(top[7]), "gone.txt");
  EXPECT_EQ(view.name(top[8]), "ORPHAN_ENTRY");
  EXPECT_FALSE(view.deleted(top[8]));
}

TEST(NtfsTree, LostParentsGatherUnderOrphanEntryNewestFirst) {
  VolumeBuilder v = volume();
  v.record(30, file(5, u"plain.txt"));
  v.record(31, file(5, u"other.txt"));
  v.record(40, file(5000, u"parent beyond the MFT"));
  v.record(90, file(30, u"parent is a file"));
  v.record(120, file(31, u"deleted, parent reused", 0));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  const ntfs& fs = *p->fs;
  EXPECT_EQ(chain(fs, fs.orphanIndex), (std::vector<std::int64_t>{120, 90, 40}));
  EXPECT_EQ(fs.entryList[40].nextSibling, -1);
  EXPECT_EQ(fs.entryList[40].parent, fs.orphanIndex);
  EXPECT_EQ(fs.entryList[90].parent, 30);
  EXPECT_EQ(fs.topLevelEntries().back(), fs.orphanIndex);
}

TEST(NtfsTree, ExtensionRecordsNameTheirBaseNotThemselves) {
  VolumeBuilder v = volume();
  // A base record whose names all went to an extension record.
  v.record(50, RecordBuilder()
                   .standardInformation(1, 2, 3)
                   .attributeList({{0x10, 50}, {0x30, 51}})
                   .residentData({'x'})
                   .build());
  v.record(51, RecordBuilder().base(50 | std::uint64_t{1} << 48).fileName(5, u"spread.txt").build());
  // An extension record of some other file.
  v.record(52, RecordBuilder().base(60 | std::uint64_t{1} << 48).fileName(5, u"phantom.txt").build());
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  const ntfs& fs = *p->fs;
  EXPECT_EQ(nameOf(fs, 50), "spread.txt");
  EXPECT_EQ(nameOf(fs, 51), "(none)");
  EXPECT_EQ(nameOf(fs, 52), "(none)");
  const auto top = namesOf(fs, fs.topLevelEntries());
  EXPECT_NE(std::find(top.begin(), top.end(), "spread.txt"), top.end());
  EXPECT_EQ(std::find(top.begin(), top.end(), "phantom.txt"), top.end());
}

TEST(NtfsTree, ParentLoopsDoNotHang) {
  VolumeBuilder v = volume();
  v.record(60, folder(61, u"a"));
  v.record(61, folder(60, u"b"));
  v.record(62, folder(62, u"self"));
  v.record(63, file(62, u"in self"));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  NtfsView view(*p->fs);
  const auto top = viewNames(view, view.root());
  EXPECT_EQ(top.back(), "ORPHAN_ENTRY");
  for (const char* lost : {"a", "b", "self"}) EXPECT_EQ(std::find(top.begin(), top.end(), lost), top.end()) << lost;
}

TEST(NtfsTree, RootWithoutChildrenShowsOrphanEntryAlone) {
  VolumeBuilder v = volume();
  for (int n = 1; n <= 4; ++n) v.record(n, std::vector<std::uint8_t>(1024, 0));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  EXPECT_EQ(p->fs->topLevelEntries(), std::vector<std::int64_t>{p->fs->orphanIndex});
  NtfsView view(*p->fs);
  EXPECT_EQ(viewNames(view, view.root()), (std::vector<std::string>{"$MFT", "ORPHAN_ENTRY"}));
}

TEST(NtfsTree, WithoutARootOnlyTheVolumeItemShows) {
  VolumeBuilder v = volume();
  v.record(5, std::vector<std::uint8_t>(1024, 0));
  auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
  EXPECT_TRUE(p->fs->topLevelEntries().empty());
  EXPECT_FALSE(p->fs->fillTreeRoots());
  NtfsView view(*p->fs);
  EXPECT_TRUE(view.children(view.root()).empty());
}

// Records scattered over a volume without a boot sector, in disk order.
std::vector<std::uint8_t> scattered(bool withRoot) {
  std::vector<std::uint8_t> image(1 << 20, 0);
  std::uint64_t at = 40960;
  const auto put = [&](const std::vector<std::uint8_t>& r) {
    std::copy(r.begin(), r.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    at += 8192;
  };
  if (withRoot) put(RecordBuilder(3).fileName(5, u".", 3, kDirectory).build());
  put(file(70, u"A"));
  put(file(70, u"B"));
  put(folder(5, u"D1"));
  put(file(71, u"C"));
  put(RecordBuilder().fileName(5, std::u16string(255, u'x')).build());  // no name: not listed
  put(folder(5, u"D2"));
  put(file(72, u"E"));
  return image;
}

TEST(NtfsTree, DeepModeKeepsFilesMetBeforeTheFirstFolder) {
  for (bool withRoot : {true, false}) {
    auto p = ntfs_test::parseImage(scattered(withRoot), NtfsMode::Deep);
    NtfsView view(*p->fs);
    const std::vector<EntryId> top = view.children(view.root());
    ASSERT_EQ(top.size(), 1u) << withRoot;
    EXPECT_EQ(view.name(top[0]), "ORPHAN_ENTRY");
    EXPECT_EQ(viewNames(view, top[0]), (std::vector<std::string>{"B", "A", "D2", "D1"})) << withRoot;
    const std::vector<EntryId> dirs = view.children(top[0]);
    EXPECT_EQ(viewNames(view, dirs[2]), std::vector<std::string>{"E"});
    EXPECT_EQ(viewNames(view, dirs[3]), std::vector<std::string>{"C"});
  }
  auto p = ntfs_test::parseImage(scattered(true), NtfsMode::Deep);
  const auto& s = p->reporter.statuses;
  EXPECT_NE(std::find(s.begin(), s.end(), "MFT ENTRY 1 Found.Parsing it .."), s.end());
  EXPECT_FALSE(p->fs->mftFound);
}

TEST(NtfsTree, DeepScanWithoutRecordsShowsTheVolumeItemAlone) {
  auto p = ntfs_test::parseImage(std::vector<std::uint8_t>(1 << 20, 0), NtfsMode::Deep);
  EXPECT_TRUE(p->fs->topLevelEntries().empty());
  NtfsView view(*p->fs);
  EXPECT_TRUE(view.children(view.root()).empty());
}

}  // namespace
}  // namespace quarnel
