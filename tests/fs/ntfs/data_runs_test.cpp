#include "fs/ntfs/data_runs.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

RunListDecode decode(const std::vector<std::uint8_t>& list, std::uint64_t span = UINT64_MAX) {
  return decodeRunList(asBytes(list.data(), list.size()), span);
}

TEST(NtfsRuns, DecodingTable) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> list;
    std::uint64_t span;
    std::vector<MftRun> runs;
    bool terminated;
  } cases[] = {
      {"runs, a backward run and a hole",
       {0x21, 0x18, 0x34, 0x56, 0x11, 0x30, 0xE0, 0x01, 0x08, 0x00},
       UINT64_MAX,
       {{0x5634, 0x18, false}, {0x5614, 0x30, false}, {0, 8, true}},
       true},
      {"64-bit start and length",
       {0x65, 0x05, 0x04, 0x03, 0x02, 0x01, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0x7A, 0x00},
       UINT64_MAX,
       {{0x7ABBCCDDEEFF, 0x0102030405, false}},
       true},
      {"3-byte negative offset",
       {0x31, 0x01, 0x00, 0x00, 0x10, 0x31, 0x02, 0xF0, 0xFF, 0xFF, 0x00},
       UINT64_MAX,
       {{0x100000, 1, false}, {0x0FFFF0, 2, false}},
       true},
      {"runs past the span are lost", {0x21, 0x18, 0x34, 0x56, 0x11, 0x30, 0xE0, 0x00}, 0x20, {{0x5634, 0x18, false}}, true},
      {"a run ending at the span is kept", {0x21, 0x18, 0x34, 0x56, 0x01, 0x08, 0x00}, 0x20,
       {{0x5634, 0x18, false}, {0, 8, true}}, true},
      {"bytes run out", {0x21, 0x18, 0x34, 0x56, 0x33, 0x01, 0x02}, UINT64_MAX, {{0x5634, 0x18, false}}, false},
      {"no terminator", {0x21, 0x18, 0x34, 0x56}, UINT64_MAX, {{0x5634, 0x18, false}}, false},
      {"field of 9 bytes", {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}, UINT64_MAX, {}, true},
      {"start below cluster 0", {0x11, 0x05, 0xFB, 0x00}, UINT64_MAX, {}, true},
      {"start past 2^63", {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x81, 0x01, 0xFF, 0xFF, 0xFF,
                          0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
       UINT64_MAX, {{0x7FFFFFFFFFFFFFFF, 1, false}}, true},
  };
  for (const Case& c : cases) {
    const RunListDecode d = decode(c.list, c.span);
    EXPECT_EQ(d.runs, c.runs) << c.name;
    EXPECT_EQ(d.terminated, c.terminated) << c.name;
  }
}

}  // namespace
}  // namespace quarnel
