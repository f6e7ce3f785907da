#include "recovery/ntfs_view.h"

#include <gtest/gtest.h>

#include "fs/ntfs/ntfs_test_support.h"
#include "recovery/recycled_names.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using ntfs_test::RecordBuilder;

constexpr std::uint64_t kModified = 133520000000000000ULL;

std::unique_ptr<ntfs_test::Parsed> smallVolume() {
  ntfs_test::VolumeBuilder v(1 << 20, 8, 4, 64);
  v.standardRecords();
  v.record(6, RecordBuilder().standardInformation(kModified - 1, kModified, kModified + 1).fileName(5, u"a.txt", 1, 0x21)
                  .residentData({'a', 'b', 'c'}).build());
  v.record(7, RecordBuilder(3).standardInformation(1, 2, 3).fileName(5, u"sub", 1, 0x10000000).build());
  v.record(8, RecordBuilder(0).standardInformation(1, 2, 3).fileName(7, u"gone.bin").build());
  v.record(9, RecordBuilder(3).standardInformation(1, 2, 3).fileName(7, u"inner", 1, 0x10000000).build());
  v.record(10, RecordBuilder().fileName(5, u"$BadClus").build());
  return ntfs_test::parseImage(v.build(), NtfsMode::Standard);
}

std::vector<std::string> names(const NtfsView& view, EntryId folder) {
  std::vector<std::string> out;
  for (EntryId c : view.children(folder)) out.push_back(view.name(c));
  return out;
}

TEST(NtfsView, AnswersFromTheParsedVolume) {
  auto p = smallVolume();
  NtfsView view(*p->fs);
  EXPECT_EQ(view.name(view.root()), ".");
  EXPECT_FALSE(view.descendWhenSaving(view.root()));
  // $MFT, record 0, first like every metadata file.
  EXPECT_EQ(names(view, view.root()), (std::vector<std::string>{"$MFT", "$MFTMirr", "$LogFile", "$Volume", "$AttrDef",
                                                                "a.txt", "sub", "$BadClus", "ORPHAN_ENTRY"}));
  const std::vector<EntryId> top = view.children(view.root());
  EXPECT_EQ(top[0], 0);
  const EntryId a = top[5], sub = top[6], badClus = top[7];
  EXPECT_EQ(names(view, sub), (std::vector<std::string>{"gone.bin", "inner"}));
  EXPECT_TRUE(view.isFolder(sub));
  EXPECT_TRUE(view.isFolder(top[8]));
  EXPECT_FALSE(view.deleted(top[8]));
  EXPECT_TRUE(view.deleted(view.children(sub)[0]));
  EXPECT_FALSE(view.writeWhenSaving(badClus));
  EXPECT_TRUE(view.writeWhenSaving(a));

  EXPECT_EQ(view.size(a), 3u);
  EXPECT_EQ(view.sizeText(a), "3 Bytes");
  const EntryTexts t = view.texts(a);
  EXPECT_EQ(t.modified, dateText(instantFromFiletime(kModified)));
  EXPECT_EQ(t.created, dateText(instantFromFiletime(kModified - 1)));
  EXPECT_EQ(t.accessed, dateText(instantFromFiletime(kModified + 1)));
  EXPECT_EQ(t.attributes, "-R-A");
  EXPECT_EQ(view.modifiedTime(a).seconds, instantFromFiletime(kModified).seconds);
  EXPECT_EQ(view.accessedTime(a).seconds, instantFromFiletime(kModified + 1).seconds);
  ntfs_test::ByteCollector out;
  EXPECT_TRUE(view.writeContent(a, out));
  EXPECT_EQ(out.bytes.size(), 3u);
}

TEST(NtfsView, DamagedLinksShowEachEntryOnce) {
  auto p = smallVolume();
  auto& list = p->fs->entryList;
  // inner's children loop back to their own folder and to it.
  list[9].firstChild = 6;
  list[6].nextSibling = 7;
  list[7].nextSibling = 9;
  NtfsView view(*p->fs);
  std::vector<EntryId> pending{view.root()};
  std::map<EntryId, int> shown;
  while (!pending.empty()) {
    const EntryId f = pending.back();
    pending.pop_back();
    for (EntryId c : view.children(f)) {
      ASSERT_EQ(++shown[c], 1) << view.name(c);
      if (view.isFolder(c)) pending.push_back(c);
    }
  }
}

TEST(NtfsRecycled, FormerNameOfBothRecordVersions) {
  const auto record = [](std::uint64_t version, const std::u16string& path, std::uint32_t length, std::size_t pad) {
    std::vector<std::byte> r(24, std::byte{0});
    r[0] = std::byte(static_cast<std::uint8_t>(version));
    if (version == 2)
      for (int i = 0; i < 4; ++i) r.push_back(std::byte(static_cast<std::uint8_t>(length >> (8 * i))));
    for (char16_t c : path) {
      r.push_back(std::byte(static_cast<std::uint8_t>(c)));
      r.push_back(std::byte(static_cast<std::uint8_t>(c >> 8)));
    }
    r.resize(r.size() + pad, std::byte{0});
    return r;
  };
  EXPECT_EQ(recycledFormerName(record(1, u"C:\\Users\\al\\budget 2023.txt", 0, 40)), "budget 2023.txt");
  EXPECT_EQ(recycledFormerName(record(2, u"C:\\P\\holiday.jpg", 17, 2)), "holiday.jpg");
  EXPECT_EQ(recycledFormerName(record(2, u"C:\\P\\holiday.jpg", 10, 2)), "holid");  // the length bounds the path
  EXPECT_EQ(recycledFormerName(record(1, u"no folder.txt", 0, 0)), "no folder.txt");
  EXPECT_EQ(recycledFormerName(record(1, u"", 0, 0)), "");
  EXPECT_EQ(recycledFormerName({}), "");
}

TEST(NtfsRecycled, RecycledFilesShowTheirFormerNames) {
  if (!test::haveFixture("ntfs_basic.img")) GTEST_SKIP();
  auto p = ntfs_test::parseFixture("ntfs_basic.img", NtfsMode::Standard);
  NtfsView view(*p->fs);
  EXPECT_EQ(restoreRecycledNames(view), 2u);
  EntryId bin = kNoEntry;
  for (EntryId c : view.children(view.root()))
    if (view.name(c) == "$RECYCLE.BIN") bin = c;
  ASSERT_NE(bin, kNoEntry);
  const std::vector<EntryId> users = view.children(bin);
  ASSERT_EQ(users.size(), 1u);
  std::vector<std::string> got = names(view, users[0]);
  std::sort(got.begin(), got.end());
  // $RBIG000's record is 2048 bytes long, too long to read: it keeps its name.
  EXPECT_EQ(got, (std::vector<std::string>{"$IABC123.txt", "$IBIG000.txt", "$IXYZ789.jpg", "$RBIG000.txt",
                                           "budget 2023.txt", "desktop.ini", "holiday.jpg"}));
}

}  // namespace
}  // namespace quarnel
