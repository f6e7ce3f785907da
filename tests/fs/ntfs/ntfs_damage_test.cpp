// Hostile input: a damaged record ends its own step, the rest of the volume still lists
// and saves, and nothing crashes, hangs or allocates what a field claims.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "fs/ntfs/ntfs_parse.h"
#include "fs/ntfs/ntfs_test_support.h"
#include "recovery/ntfs_view.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using ntfs_test::RecordBuilder;
using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Offset of the n-th attribute of a built record (n from 0).
std::size_t attributeAt(const Bytes& r, int n) {
  std::size_t at = r[20] | r[21] << 8;
  for (int k = 0; k < n; ++k) at += r[at + 4] | r[at + 5] << 8;
  return at;
}

RecordBuilder damagedBase() {
  RecordBuilder r;
  r.standardInformation(1, 2, 3).fileName(5, u"damaged.bin");
  return r;
}

struct Damage {
  const char* name;
  std::function<Bytes()> record;
};

const Damage kDamages[] = {
    {"update sequence past the record", [] { Bytes r = damagedBase().residentData({'x'}).build(); put16(r, 4, 0xFFF0); return r; }},
    {"first attribute past the record", [] { Bytes r = damagedBase().build(); put16(r, 20, 0x0FFF); return r; }},
    {"attribute length past the record",
     [] { Bytes r = damagedBase().residentData({'x'}).build(); put16(r, attributeAt(r, 1) + 4, 0x7FF0); return r; }},
    {"run list that overflows", [] { return damagedBase().nonResidentData({0x48, 0x01, 0x02}, 7, 30000).build(); }},
    {"run list of a negative cluster", [] { return damagedBase().nonResidentData({0x11, 0x01, 0x80, 0x00}, 0, 30000).build(); }},
    {"runs far past the volume",
     [] { return damagedBase().nonResidentData(ntfs_test::runList({{1000000, std::int64_t{1} << 40}}), 999999, 1 << 30).build(); }},
    {"real size far past the runs", [] { return damagedBase().nonResidentData(ntfs_test::runList({{1, 100}}), 0, std::uint64_t{1} << 62).build(); }},
    {"absurd compression unit", [] { return damagedBase().nonResidentData(ntfs_test::runList({{16, 100}}), 15, 65536, 1, 31).build(); }},
    {"compression unit 0", [] { return damagedBase().nonResidentData(ntfs_test::runList({{2, 100}}), 1, 8000, 1, 0).build(); }},
    {"span of 2^64 clusters", [] {
       return damagedBase().nonResidentData(ntfs_test::runList({{1, 100}, {std::uint64_t{1} << 62, 0}}), ~std::uint64_t{0} - 1, 1 << 20, 1, 4).build();
     }},
    {"name past the record", [] {
       Bytes r = RecordBuilder().fileName(5, std::u16string(200, u'n')).build();
       r[attributeAt(r, 0) + 0x18 + 64] = 250;  // the name now reaches past byte 1024
       return r;
     }},
    {"attribute list naming itself and far records", [] {
       return damagedBase().attributeList({{0x80, 20}, {0x80, std::uint64_t{1} << 40}, {0x30, 20}, {0x30, 999}}).build();
     }},
    {"attribute list of garbage", [] {
       Bytes r = damagedBase().attributeList({{0x80, 21}}).build();
       const std::size_t content = attributeAt(r, 1) + 0x18;
       put16(r, content + 4, 0);  // entry length 0
       return r;
     }},
};

TEST(NtfsDamage, ADamagedRecordLeavesTheRestListedAndSaved) {
  for (const Damage& d : kDamages) {
    ntfs_test::VolumeBuilder v(1 << 20, 8, 4, 64);
    v.standardRecords();
    v.record(20, d.record());
    v.record(21, RecordBuilder().standardInformation(1, 2, 3).fileName(5, u"good.txt").residentData({'f', 'i', 'n', 'e'}).build());
    auto p = ntfs_test::parseImage(v.build(), NtfsMode::Standard);
    NtfsView view(*p->fs);
    bool listed = false;
    for (EntryId c : view.children(view.root())) {
      if (view.name(c) == "good.txt") {
        listed = true;
        ntfs_test::ByteCollector out;
        EXPECT_TRUE(view.writeContent(c, out)) << d.name;
        EXPECT_EQ(out.bytes.size(), 4u) << d.name;
      }
      view.size(c);
      view.sizeText(c);
      view.texts(c);
      MemorySink capped(1 << 24);
      view.writeContent(c, capped);
    }
    EXPECT_TRUE(listed) << d.name;
    MemorySink capped(1 << 24);
    p->fs->writeContent(20, capped);
  }
}

// Random bytes of a real volume's MFT changed, then everything listed and written.
TEST(NtfsDamage, MutatedVolumesStillParseAndSave) {
  if (!test::haveFixture("ntfs_basic.img")) GTEST_SKIP();
  const Bytes intact = test::readFile(test::fixture("ntfs_basic.img"));
  const std::uint64_t mft = 4 * 4096;  // from the boot sector of this volume
  ASSERT_EQ(intact[0x30], 4);
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    Bytes image = intact;
    std::mt19937 rng(seed);
    for (int k = 0; k < 3000; ++k) image[mft + rng() % (512 * 1024)] = static_cast<std::uint8_t>(rng());
    for (NtfsMode mode : {NtfsMode::Standard, NtfsMode::Advanced, NtfsMode::Deep}) {
      auto p = ntfs_test::parseImage(image, mode);
      NtfsView view(*p->fs);
      std::vector<EntryId> pending{view.root()};
      std::size_t seen = 0;
      while (!pending.empty() && seen < 100000) {
        const EntryId f = pending.back();
        pending.pop_back();
        for (EntryId c : view.children(f)) {
          ++seen;
          view.texts(c);
          view.sizeText(c);
          if (view.isFolder(c)) {
            pending.push_back(c);
          } else {
            MemorySink capped(1 << 24);
            view.writeContent(c, capped);
          }
        }
      }
      EXPECT_LT(seen, 100000u) << "seed " << seed;
    }
  }
}

}  // namespace
}  // namespace quarnel
