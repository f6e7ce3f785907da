#include <gtest/gtest.h>

#include "volumes/volume_record.h"

namespace quarnel {
namespace {

// Sizes are shown in whole MiB rounded down; reads may go to the volume's true end.
TEST(VolumeRecord, ReadLimitCoversTheLastPartialMiB) {
  struct Case {
    const char* sizeText;
    std::int64_t start, diskSectors;
    std::uint64_t limit;
  };
  const Case cases[] = {
      {"16   MB", 2048, 1 << 20, 17u << 20},         // a partition well inside the disk
      {"16   MB", 0, 16 * 2048 + 100, 16 * 1048576 + 100 * 512},  // the disk ends first
      {"", 100, 2544, 2444 * 512},                  // no size: the rest of the disk
      {"7", 0, 2444, 2444 * 512},                   // a bare number, rounded down from the rest
      {"0   MB", 0, 1 << 20, 1048576},              // a volume of less than one MiB
      {"16   MB", 5000, 5000, 0},                   // starts at the disk's end
      {"16   MB", -1, 5000, 0},
  };
  for (const Case& c : cases) {
    VolumeRecord r;
    r.volumeSizeText = c.sizeText;
    r.startSector = c.start;
    EXPECT_EQ(volumeReadLimit(r, c.diskSectors), c.limit) << c.sizeText << " at " << c.start;
  }
}

}  // namespace
}  // namespace quarnel
