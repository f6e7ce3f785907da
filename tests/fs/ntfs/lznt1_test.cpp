#include "fs/ntfs/lznt1.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fs/ntfs/ntfs_test_support.h"

namespace quarnel {
namespace {

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string text(std::size_t size) {
  std::string out;
  for (int i = 0; out.size() < size; ++i) {
    char line[96];
    std::snprintf(line, sizeof line, "line %04d: the quick brown fox jumps over the lazy dog %d\n", i, i * i % 97);
    out += line;
  }
  out.resize(size);
  return out;
}

std::size_t run(const std::vector<std::uint8_t>& in, std::vector<std::byte>& out) {
  return lznt1Decompress(asBytes(in.data(), in.size()), out);
}

std::string asString(const std::vector<std::byte>& b, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(b.data()), n);
}

// The first compression unit of a 4200-byte file that ntfs-3g wrote into a compressed
// folder: two compressed chunks.
const char* const kNtfs3gUnit =
    "6ab2406c696e65203000003a00207468652071756900636b2062726f776e0020666f78206a756d807073206f76657202"
    "78006c617a7920646f67a820300a05e0312b70310670aa322b70340638332b3839063852342b383136861c35ab1c32aa"
    "35861c36ab1c33873937ab1caa34877338ab1c368756396b0e6a38467331ec8f33060eec8f3235062b312d9037460e6c"
    "9037326f460eac90070e6c903347566c9036ebc71c6c9039a656313f48ab15c739b73f484b2b0689323f482a0731e61c"
    "d6325f482a0735a615325f482b24dda673325f488b4fc656325f486b0efd2641327f486b0ee71c7f486b0ea715df7f48"
    "6b2be7397f482a073806075f48b50a0736c656335f482a07322682ee335f488b15a615335f480b24462bee335f48ab15"
    "065e335f48ab1546c3ee335f48bb15c627332f249f032941ff57192f249f03893d37072f249f03790ebde639333f249f"
    "03790e9603343f24f79f0349369620343f249f031912f61cfe343f249f03191237073f249f03790edf86032f248f0319"
    "41b644342f249f03bb49198620342f249f03980337662bfe342f249f03990337072f249f039903df770e2f249f039f03"
    "9003352f249f03ffdf0a91032f249f031f1291032f249f03ff5f1991032f249f039f2091033f249f03ffcf2780032f24"
    "8f03ff2e91032f249f03ff3f3691032f249f037f3d91032f249f03bfbf4491032f249f03ff4b9003362f247f9f033f53"
    "91032f249f031912862036ff2f249f03790e37072f249f03790e662bde362f249f0398033770363f249f037b98037777"
    "363f249f03d90a962036ef3f249f03d90af685363f249f03b915df57193f249f03d90a8503372f248f0300652047b000"
    "6c617a7920646f67002035300a6c696e650020303037313a207400686520717569636b002062726f776e2066006f7820"
    "6a756d707360206f766572027806e4390a340672321672";

TEST(NtfsLznt1, UnitWrittenByNtfs3g) {
  std::vector<std::uint8_t> unit = fromHex(kNtfs3gUnit);
  unit.resize(20480, 0);  // the rest of its allocated clusters
  std::vector<std::byte> out(65536);
  ASSERT_EQ(run(unit, out), 4200u);
  EXPECT_EQ(asString(out, 4200), text(4200));
}

TEST(NtfsLznt1, ChunkKinds) {
  std::vector<std::byte> out(65536);
  // One literal and an overlapping copy of offset 1 fill each chunk.
  ASSERT_EQ(run(ntfs_test::repeatedChunks({'a', 'b'}), out), 8192u);
  EXPECT_EQ(asString(out, 8192), std::string(4096, 'a') + std::string(4096, 'b'));

  // A stored chunk: size field 0xFFF with the compressed flag clear.
  std::vector<std::uint8_t> stored = {0xFF, 0x3F};
  for (int i = 0; i < 4096; ++i) stored.push_back(static_cast<std::uint8_t>(i * 7));
  ASSERT_EQ(run(stored, out), 4096u);
  EXPECT_EQ(static_cast<std::uint8_t>(out[4095]), static_cast<std::uint8_t>(4095 * 7));
}

TEST(NtfsLznt1, OutputNeverPassesItsCapacity) {
  std::vector<std::byte> out(5000);
  // A back-reference stops at the capacity...
  ASSERT_EQ(run(ntfs_test::repeatedChunks({'x', 'y', 'z'}), out), 5000u);
  EXPECT_EQ(asString(out, 5000), std::string(4096, 'x') + std::string(904, 'y'));
  // ...and a literal past it ends decoding.
  std::vector<std::byte> four(4096);
  EXPECT_EQ(run(ntfs_test::repeatedChunks({'x', 'y'}), four), 4096u);
}

TEST(NtfsLznt1, DamageKeepsWhatCameBefore) {
  std::vector<std::byte> out(65536);
  std::vector<std::uint8_t> unit = ntfs_test::repeatedChunks({'a', 'b'});
  unit[6] = 0x40;  // the second chunk now claims 0x44 bytes past the input's end
  EXPECT_EQ(run(unit, out), 4096u);

  // A back-reference before anything of its chunk was produced.
  const std::vector<std::uint8_t> early = {0x03, 0xB0, 0x01, 0x00, 0x10, 0x00};
  EXPECT_EQ(run(early, out), 0u);
  // A size field of 0 ends the unit.
  EXPECT_EQ(run({0x00, 0xB0, 0x02, 0x61}, out), 0u);
}

}  // namespace
}  // namespace quarnel
