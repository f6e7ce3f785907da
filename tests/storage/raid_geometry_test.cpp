#include "storage/raid_geometry.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

// Virtual sector 1000 on four members with 128-sector stripes: K = 7, w = 104.
TEST(RaidGeometry, WorkedExamples) {
  RaidGeometry r0{0, 4, kLeftSymmetric, 128};
  SectorLocation a = mapSector(r0, 1000);
  EXPECT_EQ(a.member, 3);
  EXPECT_EQ(a.memberSector, 232);
  EXPECT_EQ(a.memberSector * 512, 118784);
  EXPECT_EQ((63 + a.memberSector) * 512, 151040);  // with a 63-sector member offset

  SectorLocation b = mapSector(r0, 2048);  // baseOffset 2048 * 512, offset 0
  EXPECT_EQ(b.member, 0);
  EXPECT_EQ(b.memberSector, 512);

  struct Case { std::int32_t layout, parity, data; };
  for (Case c : {Case{kRightAsymmetric, 2, 1}, Case{kLeftAsymmetric, 1, 2},
                 Case{kLeftSymmetric, 1, 3}}) {
    SectorLocation l = mapSector({5, 4, c.layout, 128}, 1000);
    EXPECT_EQ(l.memberSector, 360) << "layout " << c.layout;
    EXPECT_EQ(l.parityMember, c.parity) << "layout " << c.layout;
    EXPECT_EQ(l.member, c.data) << "layout " << c.layout;
  }
}

// Rows 0 to 3 of four members: which data unit (or P) each member holds.
TEST(RaidGeometry, LayoutTable) {
  const char* expected[4][4] = {
      {"P D0 D1 D2", "D3 P D4 D5", "D6 D7 P D8", "D9 D10 D11 P"},      // right asymmetric
      {"D0 D1 D2 P", "D3 D4 P D5", "D6 P D7 D8", "P D9 D10 D11"},      // left asymmetric
      {"D0 D1 D2 P", "D4 D5 P D3", "D8 P D6 D7", "P D9 D10 D11"},      // left symmetric
      {"P D0 D1 D2", "D5 P D3 D4", "D7 D8 P D6", "D9 D10 D11 P"},      // right symmetric
  };
  for (std::int32_t layout = 1; layout <= 4; ++layout) {
    RaidGeometry g{5, 4, layout, 8};
    for (std::int64_t row = 0; row < 4; ++row) {
      std::string cells[4];
      for (std::int64_t d = 0; d < 3; ++d) {
        std::int64_t unit = row * 3 + d;
        SectorLocation l = mapSector(g, unit * 8);
        EXPECT_EQ(l.memberSector, row * 8);
        cells[l.member] = "D" + std::to_string(unit);
        cells[l.parityMember] = "P";
      }
      std::string line = cells[0] + " " + cells[1] + " " + cells[2] + " " + cells[3];
      EXPECT_EQ(line, expected[layout - 1][row]) << "layout " << layout << " row " << row;
    }
  }
}

}  // namespace
}  // namespace quarnel
