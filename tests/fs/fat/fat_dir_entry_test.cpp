// 8.3 names and long names as the directory entries give them.
#include <gtest/gtest.h>

#include <array>

#include "fs/fat/fat_dir_entry.h"
#include "platform/text.h"

namespace quarnel {
namespace {

using Slot = std::array<std::uint8_t, 32>;

Slot shortSlot(const std::string& name11, std::uint8_t attribute = 0x20, std::uint8_t caseFlags = 0) {
  Slot s{};
  std::copy_n(name11.begin(), 11, s.begin());
  s[11] = attribute;
  s[12] = caseFlags;
  return s;
}

FatShortEntry decode(const Slot& s) { return FatShortEntry::decode(asBytes(s.data(), s.size())); }

// A long-name entry holding up to 13 characters of text (padded as the drivers pad).
Slot longSlot(std::uint8_t sequence, const std::u16string& piece, std::uint8_t checksum) {
  Slot s{};
  s[0] = sequence;
  s[11] = kLongNameAttribute;
  s[13] = checksum;
  const std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  for (std::size_t i = 0; i < 13; ++i) {
    const char16_t c = i < piece.size() ? piece[i] : i == piece.size() ? u'\0' : u'\xFFFF';
    s[offsets[i]] = static_cast<std::uint8_t>(c);
    s[offsets[i] + 1] = static_cast<std::uint8_t>(c >> 8);
  }
  return s;
}

std::string longName(const std::u16string& name, const Slot& shortEntry, bool deleted = false) {
  LongNameRun run;
  const FatShortEntry e = decode(shortEntry);
  const std::size_t pieces = (name.size() + 12) / 13;
  for (std::size_t k = pieces; k-- > 0;) {  // on disk the last piece stands first
    const auto seq = static_cast<std::uint8_t>(deleted ? kEntryDeleted : (k + 1) | (k + 1 == pieces ? 0x40 : 0));
    const Slot s = longSlot(seq, name.substr(k * 13, 13), e.nameChecksum());
    run.add(asBytes(s.data(), s.size()));
  }
  return run.nameFor(e);
}

TEST(FatDirEntry, ShortNames) {
  struct Case {
    const char* bytes;
    std::uint8_t caseFlags;
    std::uint8_t attribute;
    const char* name;
  };
  const Case cases[] = {
      {"MAIN    C  ", 0, 0x20, "MAIN.C"},
      {"README     ", 0, 0x20, "README"},
      {"NAME    EXT", 0, 0x20, "NAME.EXT"},
      {"DOCUMENT   ", 0, 0x10, "DOCUMENT"},
      {"MY DIR  X  ", 0, 0x10, "MY DIR.X"},
      {"\xE5" "EADME  TXT", 0, 0x20, "\xEF\xBF\xA5" "EADME.TXT"},
      {"README  TXT", 0x18, 0x20, "readme.txt"},
      {"README  TXT", 0x08, 0x20, "readme.TXT"},
      {"README  TXT", 0x10, 0x20, "README.txt"},
      {"$IABC123TXT", 0x10, 0x20, "$IABC123.txt"},
      {"R\x90SUM\x90  PDF", 0x18, 0x20, "r\xC3\xA9sum\xC3\xA9.pdf"},  // code page 437, lower-cased
      {"\x05" "BC     TXT", 0, 0x20, "\xCF\x83" "BC.TXT"},            // 0x05 stands for 0xE5 (σ)
      {"\xE5" "LD     DIR", 0x08, 0x10, "\xEF\xBF\xA5" "ld.DIR"},
  };
  for (const Case& c : cases) EXPECT_EQ(fatShortName(decode(shortSlot(c.bytes, c.attribute, c.caseFlags))), c.name) << c.name;
}

TEST(FatDirEntry, LongNamesJoinTheirPiecesInOrder) {
  const Slot e = shortSlot("ALPHAB~1TXT");
  EXPECT_EQ(longName(u"abcdefghijklmnopqrstuvwxyz", e), "abcdefghijklmnopqrstuvwxyz");  // 26: two pieces
  EXPECT_EQ(longName(u"r\u00e9sum\u00e9 \u65e5\u672c.txt", e), "r\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.txt");
  // 170 characters take 14 entries, beyond the ten the long-name run once allowed.
  std::u16string longest;
  for (int i = 0; i < 17; ++i) longest += u"0123456789";
  EXPECT_EQ(longName(longest, e), utf16ToUtf8(longest));
  // 255 characters, the most a long name holds.
  const std::u16string max(255, u'x');
  EXPECT_EQ(longName(max, e), std::string(255, 'x'));
}

TEST(FatDirEntry, ALongNameMustBelongToItsEntry) {
  const Slot live = shortSlot("REPORT~1TXT");
  LongNameRun run;
  const Slot piece = longSlot(0x41, u"report.txt", static_cast<std::uint8_t>(decode(live).nameChecksum() + 1));
  run.add(asBytes(piece.data(), piece.size()));
  EXPECT_EQ(run.nameFor(decode(live)), "");  // the checksum names another entry
  // A deleted entry lost its first byte, so its checksum cannot be checked.
  const Slot gone = shortSlot("\xE5" "EPORT~1TXT");
  EXPECT_EQ(run.nameFor(decode(gone)), "report.txt");

  LongNameRun deleted;
  const Slot dead = longSlot(kEntryDeleted, u"old.txt", decode(gone).nameChecksum());
  deleted.add(asBytes(dead.data(), dead.size()));
  EXPECT_TRUE(deleted.deleted());
  EXPECT_EQ(deleted.nameFor(decode(gone)), "old.txt");
}

// The directory bit makes a folder, whatever else is set; the volume-label bit and a
// long-name piece never do.
TEST(FatDirEntry, FoldersByTheirDirectoryBit) {
  for (std::uint8_t a : {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x30, 0x31, 0x37, 0x50, 0x90})
    EXPECT_TRUE(isFatFolderAttribute(a)) << int(a);
  for (std::uint8_t a : {0x00, 0x01, 0x08, 0x0F, 0x18, 0x1F, 0x20, 0x21, 0x3F}) EXPECT_FALSE(isFatFolderAttribute(a)) << int(a);
}

}  // namespace
}  // namespace quarnel
