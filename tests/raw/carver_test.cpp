// The carver on volumes built in memory: where starts and ends are seen, how long finds are,
// the skips, the size field, the block loop, the tree and the run's messages.
#include <gtest/gtest.h>

#include "raw/carver.h"
#include "raw/raw_test_support.h"

namespace quarnel {
namespace {

namespace rawtest = test::raw;

using Bytes = std::vector<std::uint8_t>;
constexpr std::int64_t kMiB = 1048576;
const Bytes kJpgStart{0xFF, 0xD8, 0xFF};
const Bytes kJpgEnd{0xFF, 0xD9};

SignatureDraft jpg(std::int64_t approx = 0) {
  SignatureDraft d;
  d.extension = "jpg";
  d.startSignature = kJpgStart;
  d.endSignature = kJpgEnd;
  d.approxSize = approx;
  d.category = "Images";
  return d;
}

SignatureDraft startOnly(Bytes start, std::int64_t approx, std::int64_t skip = 0) {
  SignatureDraft d;
  d.extension = "bin";
  d.startSignature = std::move(start);
  d.approxSize = approx;
  d.skipSize = skip;
  d.category = "Other";
  return d;
}

// "BM" and a 4-byte size at offset 2.
SignatureDraft sizeField(std::int32_t offset, std::int32_t bytes, std::int32_t header, bool includes,
                         std::int64_t approx) {
  SignatureDraft d = startOnly({0x42, 0x4D}, approx);
  d.extension = "bmp";
  d.sizeOffset = offset;
  d.sizeBytes = bytes;
  d.headerSize = header;
  d.sizeIncludesHeader = includes;
  return d;
}

Bytes le32(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}; }

struct Carved {
  bool ok = false;
  myJpg carver;
  rawtest::RecordingReporter reporter;
  rawtest::RecordingTree tree;
};

std::unique_ptr<Carved> carve(rawtest::MemoryVolume& v, const std::vector<SignatureDraft>& drafts,
                              std::int64_t bytes = -1) {
  auto c = std::make_unique<Carved>();
  std::vector<SignatureRecord> records;
  for (const auto& d : drafts) records.push_back(rawtest::recordOf(d, records.size()));
  c->carver.addRecords(records);
  c->ok = c->carver.carveVolume(v, bytes < 0 ? static_cast<std::int64_t>(v.size()) : bytes, c->reporter, c->tree);
  return c;
}

struct Find {
  std::int64_t start, length;
  bool operator==(const Find&) const = default;
};
std::vector<Find> finds(const myJpg& c) {
  std::vector<Find> out;
  for (const auto& f : c.foundFiles) out.push_back({f.start, f.length});
  return out;
}
void PrintTo(const Find& f, std::ostream* os) { *os << "{" << f.start << ", " << f.length << "}"; }

TEST(CarveEnds, AnEndIsSeenAnywhereAfterItsStart) {
  struct Case {
    const char* name;
    std::int64_t end;
    std::int64_t approx;
    Find want;
    const char* findName;
  };
  const Case cases[] = {
      {"end at a sector start", 1050112, 0, {1048576, 1538}, "1050112 .jpg"},
      {"end inside a sector", 1050112 + 77, 0, {1048576, 1615}, "1050189 .jpg"},
      {"end within the approximate size", 1049476, 1000, {1048576, 902}, "1049476 .jpg"},
      {"no end within it: that size", 1050112, 1000, {1048576, 1000}, "1048576 .jpg"},
      {"end right after the start's bytes", 1048579, 0, {1048576, 5}, "1048579 .jpg"},
      // A definitions file may say anything: a size past every position is no limit.
      {"an approximate size of INT64_MAX", 1050112, INT64_MAX, {1048576, 1538}, "1050112 .jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rawtest::MemoryVolume v(2 * kMiB);
    v.put(1048576, kJpgStart);
    v.put(static_cast<std::size_t>(c.end), kJpgEnd);
    auto r = carve(v, {jpg(c.approx)});
    ASSERT_TRUE(r->ok);
    EXPECT_EQ(finds(r->carver), (std::vector<Find>{c.want}));
    ASSERT_EQ(r->carver.foundFiles.size(), 1u);
    EXPECT_EQ(r->carver.foundFiles[0].name, c.findName);
  }
}

TEST(CarveEnds, AnEndRunningIntoTheNextBlockIsSeen) {
  rawtest::MemoryVolume v(2 * kMiB);
  v.put(kMiB - 4096, kJpgStart);
  v.put(kMiB - 1, kJpgEnd);  // FF is the last byte of block 0
  auto r = carve(v, {jpg()});
  EXPECT_EQ(finds(r->carver), (std::vector<Find>{{kMiB - 4096, 4097}}));
}

TEST(CarveEnds, WaitingStartsAreClosedInTurn) {
  // Starts at 0 and 4096, ends at 8000 and 20000.
  auto planted = [] {
    rawtest::MemoryVolume v(64 * 1024);
    v.put(0, kJpgStart);
    v.put(4096, kJpgStart);
    v.put(8000, kJpgEnd);
    v.put(20000, kJpgEnd);
    return v;
  };
  {
    SCOPED_TRACE("with an approximate size the oldest start takes the first end");
    rawtest::MemoryVolume v = planted();
    EXPECT_EQ(finds(carve(v, {jpg(kMiB)})->carver), (std::vector<Find>{{0, 8002}, {4096, 15906}}));
  }
  {
    SCOPED_TRACE("without one a start's search stops at the next start");
    rawtest::MemoryVolume v = planted();
    EXPECT_EQ(finds(carve(v, {jpg()})->carver), (std::vector<Find>{{0, 4096}, {4096, 3906}}));
  }
}

TEST(CarveEnds, StartsWithoutAnEnd) {
  rawtest::MemoryVolume v(32 * 1024);
  v.put(0, kJpgStart);
  v.put(8192, kJpgStart);
  // Left waiting at the end of the run: up to the next start of the kind, or the volume end.
  EXPECT_EQ(finds(carve(v, {jpg(kMiB)})->carver), (std::vector<Find>{{0, 8192}, {8192, 24576}}));
  // The search ran out within the volume: the approximate size, each.
  EXPECT_EQ(finds(carve(v, {jpg(10000)})->carver), (std::vector<Find>{{0, 10000}, {8192, 10000}}));
}

TEST(CarveStarts, OnlySectorStartsAreExamined) {
  rawtest::MemoryVolume v(64 * 1024);
  v.put(512 + 1, {0x50, 0x4B, 0x03, 0x04});
  v.put(4096, {0x50, 0x4B, 0x03, 0x04});
  EXPECT_EQ(finds(carve(v, {startOnly({0x50, 0x4B, 0x03, 0x04}, 100)})->carver), (std::vector<Find>{{4096, 100}}));
}

TEST(CarveStarts, WildcardsOneByteSignaturesAndTheFirstDefinition) {
  rawtest::MemoryVolume v(64 * 1024);
  v.put(0, {0x47, 0x00, 0x46});
  v.put(512, {0x47, 0x99, 0x46});
  v.put(1024, {0x47, 0x99, 0x45});
  auto r = carve(v, {startOnly({0x47}, 10), startOnly({0x2A, 0x2A, 0x46}, 20), startOnly({0x47, 0x2A, 0x46}, 30),
                     startOnly({0x2A, 0x99, 0x45}, 40)});
  // The one-byte signature never matches; where two match, the earlier definition decides.
  EXPECT_EQ(finds(r->carver), (std::vector<Find>{{0, 20}, {512, 20}, {1024, 40}}));
}

TEST(CarveStarts, SkipStepsAfterAFind) {
  const Bytes sig{0x52, 0x61, 0x72, 0x21};
  struct Case {
    std::int64_t skip;
    std::vector<std::int64_t> starts;  // empty: every planted start
  };
  const Case cases[] = {
      {262144, {0, 262144, 524288, 786432, kMiB, kMiB + 262144, kMiB + 524288, kMiB + 786432}},
      {2097152, {0, kMiB}},  // a skip never goes past the end of its block
      {600, {}},  // rounded down to one sector: every start is found
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.skip);
    rawtest::MemoryVolume v(2 * kMiB);
    for (std::size_t at = 0; at < v.size(); at += 65536) v.put(at, sig);
    auto r = carve(v, {startOnly(sig, 4096, c.skip)});
    std::vector<std::int64_t> got;
    for (const auto& f : r->carver.foundFiles) {
      got.push_back(f.start);
      EXPECT_EQ(f.length, 4096);
    }
    std::vector<std::int64_t> want = c.starts;
    if (want.empty())
      for (std::int64_t at = 0; at < 2 * kMiB; at += 65536) want.push_back(at);
    EXPECT_EQ(got, want);
  }
}

TEST(CarveSizeField, TheSizeReadIsTheLength) {
  struct Case {
    const char* name;
    SignatureDraft def;
    std::size_t sizeAt;
    std::uint32_t size;
    std::vector<Find> want;
  };
  const Case cases[] = {
      {"size with its header", sizeField(2, 4, 54, true, 0), 2, 9270, {{4096, 9270}}},
      {"header added", sizeField(4, 4, 8, false, 0), 4, 100, {{4096, 108}}},
      {"capped by the approximate size", sizeField(2, 4, 0, true, 5000), 2, 9270, {{4096, 5000}}},
      {"not positive", sizeField(2, 4, 0, true, 5000), 2, 0x80000000u, {}},
      {"a 2-byte field is not read", sizeField(2, 2, 0, true, 5000), 2, 9270, {}},
      {"no offset: no size field", sizeField(0, 4, 0, true, 777), 2, 9270, {{4096, 777}}},
      {"beyond the first sector: none", sizeField(510, 4, 0, true, 777), 510, 9270, {{4096, 777}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rawtest::MemoryVolume v(64 * 1024);
    v.put(4096, {0x42, 0x4D});
    v.put(4096 + c.sizeAt, le32(c.size));
    EXPECT_EQ(finds(carve(v, {c.def})->carver), c.want);
  }
}

TEST(CarveSizeField, TheScanGoesOnAfterTheFile) {
  const auto def = sizeField(2, 4, 0, true, 0);
  auto plantAt = [](rawtest::MemoryVolume& v, std::size_t at, std::uint32_t size) {
    v.put(at, {0x42, 0x4D});
    v.put(at + 2, le32(size));
  };
  {
    SCOPED_TRACE("within the block: at the sector after the size");
    rawtest::MemoryVolume v(kMiB);
    plantAt(v, 0, 1000);
    plantAt(v, 512, 100);
    plantAt(v, 1024, 100);
    EXPECT_EQ(finds(carve(v, {def})->carver), (std::vector<Find>{{0, 1000}, {1024, 100}}));
  }
  {
    SCOPED_TRACE("past the block: from the block after the one it ends in");
    rawtest::MemoryVolume v(4 * kMiB);
    plantAt(v, 0, 1536 * 1024);
    plantAt(v, kMiB + 786432, 100);
    plantAt(v, 2 * kMiB, 100);
    auto r = carve(v, {def});
    EXPECT_EQ(finds(r->carver), (std::vector<Find>{{0, 1536 * 1024}, {2 * kMiB, 100}}));
    EXPECT_EQ(v.reads, (std::vector<std::int64_t>{0, 2 * kMiB, 3 * kMiB}));  // block 1 is not read
  }
}

TEST(CarveRun, BlocksProgressAndTheLastPartialBlock) {
  rawtest::MemoryVolume v(4 * kMiB);
  v.put(3 * kMiB + 262144, kJpgStart);  // in the last, partial block of a 3.5 MiB volume
  v.put(3 * kMiB + 524288 + 1000, kJpgEnd);  // past the volume: not seen
  auto r = carve(v, {jpg()}, 3 * kMiB + 524288);
  EXPECT_EQ(r->reporter.range.first, 0);
  EXPECT_EQ(r->reporter.range.second, 3);
  EXPECT_EQ(r->reporter.positions, (std::vector<std::int64_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(v.reads, (std::vector<std::int64_t>{0, kMiB, 2 * kMiB, 3 * kMiB}));
  EXPECT_EQ(finds(r->carver), (std::vector<Find>{{3 * kMiB + 262144, 262144}}));
  EXPECT_EQ(r->reporter.messages, (std::vector<std::string>{"done.."}));
}

TEST(CarveRun, FindsGoUnderTheirCategoryNodes) {
  rawtest::MemoryVolume v(64 * 1024);
  v.put(0, kJpgStart);
  v.put(700, kJpgEnd);
  v.put(4096, {0x89, 0x50});
  v.put(8192, kJpgStart);
  v.put(9000, kJpgEnd);
  SignatureDraft png = startOnly({0x89, 0x50}, 300);
  png.extension = "png";
  png.category = "Images";
  auto r = carve(v, {jpg(), startOnly({0x37, 0x7A}, 10), png});
  const auto& items = r->tree.items;
  ASSERT_EQ(items.size(), 6u);  // root, two categories, three finds
  EXPECT_EQ(items[0].text, "RAW RECOVERY ");
  EXPECT_EQ(items[0].parent, 0);
  EXPECT_EQ(items[1].text, "Images (3)");
  EXPECT_EQ(items[2].text, "Other");  // no finds, no count
  for (std::size_t i = 0; i < 3; ++i) {
    const FoundFile& f = r->carver.foundFiles[i];
    EXPECT_EQ(r->tree.at(f.item).parent, 2) << "every find under the shared Images node";
    EXPECT_EQ(r->tree.at(f.item).entry, static_cast<std::int64_t>(i));
    EXPECT_EQ(r->tree.at(f.item).text, f.name);
  }
  EXPECT_EQ(r->carver.foundFiles[1].name, "4096 .png");
  EXPECT_EQ(r->carver.categoryCounts.at("Images"), 3);
}

TEST(CarveRun, LengthsStopAtTheVolumeEnd) {
  rawtest::MemoryVolume v(kMiB);
  v.put(kMiB - 4096, {0x37, 0x7A});
  EXPECT_EQ(finds(carve(v, {startOnly({0x37, 0x7A}, kMiB)})->carver), (std::vector<Find>{{kMiB - 4096, 4096}}));
}

TEST(CarveRun, StopAndNothingToMatch) {
  {
    rawtest::MemoryVolume v(2 * kMiB);
    v.put(0, kJpgStart);
    Carved c;
    c.carver.addRecords({rawtest::recordOf(jpg())});
    c.carver.job->requestStop();
    EXPECT_TRUE(c.carver.carveVolume(v, 2 * kMiB, c.reporter, c.tree));
    EXPECT_TRUE(v.reads.empty());
    EXPECT_TRUE(c.carver.foundFiles.empty());
    EXPECT_EQ(c.reporter.messages, (std::vector<std::string>{"done.."}));
  }
  {
    rawtest::MemoryVolume v(kMiB);
    Carved c;
    EXPECT_FALSE(c.carver.carveVolume(v, kMiB, c.reporter, c.tree));
    EXPECT_EQ(c.reporter.messages, (std::vector<std::string>{"not properly initialized"}));
    EXPECT_TRUE(v.reads.empty());
  }
}

}  // namespace
}  // namespace quarnel
