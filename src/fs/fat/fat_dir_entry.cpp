#include "fs/fat/fat_dir_entry.h"

#include "platform/text.h"

namespace quarnel {
namespace {

constexpr std::size_t kName = 0;  // 11 bytes: 8 base, 3 extension
constexpr std::size_t kAttribute = 11;
constexpr std::size_t kCaseFlags = 12;
constexpr std::size_t kCreation10ms = 13;
constexpr std::size_t kCreationTime = 14;
constexpr std::size_t kCreationDate = 16;
constexpr std::size_t kAccessDate = 18;
constexpr std::size_t kClusterHigh = 20;
constexpr std::size_t kWriteTime = 22;
constexpr std::size_t kWriteDate = 24;
constexpr std::size_t kClusterLow = 26;
constexpr std::size_t kSize = 28;

constexpr std::uint8_t kLowerBase = 0x08;
constexpr std::uint8_t kLowerExtension = 0x10;
constexpr std::uint8_t kStandsForE5 = 0x05;  // a name that really begins with byte 0xE5

// Long-name entry: sequence byte, then three runs of UTF-16 characters.
constexpr std::size_t kLongChecksum = 13;
constexpr std::uint8_t kLastPiece = 0x40;  // in the sequence byte of the name's last piece
constexpr std::uint8_t kOrderMask = 0x1F;
constexpr std::size_t kLongRuns[3][2] = {{1, 5}, {14, 6}, {28, 2}};

// Code page 437's capitals and their small letters.
char lowerCp437(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + ('a' - 'A'));
  switch (b) {
    case 0x80: return '\x87';  // Ç
    case 0x8E: return '\x84';  // Ä
    case 0x8F: return '\x86';  // Å
    case 0x90: return '\x82';  // É
    case 0x92: return '\x91';  // Æ
    case 0x99: return '\x94';  // Ö
    case 0x9A: return '\x81';  // Ü
    case 0xA5: return '\xA4';  // Ñ
    default: return c;
  }
}

std::string part(const FatShortEntry& e, std::size_t from, std::size_t to, bool lower) {
  std::string s(e.name.begin() + static_cast<std::ptrdiff_t>(from),
                e.name.begin() + static_cast<std::ptrdiff_t>(to));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  if (lower)
    for (char& c : s) c = lowerCp437(c);
  return s;
}

}  // namespace

FatShortEntry FatShortEntry::decode(ByteSpan s) {
  FatShortEntry e;
  for (std::size_t i = 0; i < e.name.size(); ++i) e.name[i] = u8(s, kName + i);
  e.attribute = u8(s, kAttribute);
  e.caseFlags = u8(s, kCaseFlags);
  e.creation10ms = u8(s, kCreation10ms);
  e.creationTime = le16(s, kCreationTime);
  e.creationDate = le16(s, kCreationDate);
  e.accessDate = le16(s, kAccessDate);
  e.firstClusterHigh = le16(s, kClusterHigh);
  e.writeTime = le16(s, kWriteTime);
  e.writeDate = le16(s, kWriteDate);
  e.firstClusterLow = le16(s, kClusterLow);
  e.size = le32(s, kSize);
  return e;
}

std::uint8_t FatShortEntry::nameChecksum() const {
  std::uint8_t sum = 0;
  for (std::uint8_t b : name) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + b);
  return sum;
}

// The directory bit, whatever else is set (read-only, archive...), but never with the
// volume-label bit (a long-name piece, 0x0F, has no directory bit).
bool isFatFolderAttribute(std::uint8_t a) { return (a & 0x18) == 0x10; }

std::string fatShortName(const FatShortEntry& e) {
  std::string base = part(e, 0, 8, e.caseFlags & kLowerBase);
  const std::string ext = part(e, 8, 11, e.caseFlags & kLowerExtension);
  std::string out;
  if (!base.empty() && e.deleted()) {
    appendUtf8(out, U'\uFFE5');
    base.erase(0, 1);
  } else if (!base.empty() && static_cast<unsigned char>(base[0]) == kStandsForE5) {
    base[0] = static_cast<char>(kEntryDeleted);
  }
  out += cp437ToUtf8(base);
  if (!ext.empty()) out += "." + cp437ToUtf8(ext);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out;
}

void LongNameRun::add(ByteSpan slot) {
  const std::uint8_t order = u8(slot, 0);
  const std::uint8_t checksum = u8(slot, kLongChecksum);
  if (order == kEntryDeleted) {
    // Deletion overwrote the sequence numbers; a run of deleted pieces holds together by
    // its checksum only.
    if (count_ > 0 && (!deleted_ || checksum != checksum_ || count_ == kMaxPieces)) clear();
    if (count_ == 0) {
      deleted_ = true;
      checksum_ = checksum;
    }
  } else if (order & kLastPiece) {
    // The name's last piece comes first and says how many follow.
    clear();
    checksum_ = checksum;
    next_ = (order & kOrderMask) - 1;
    if ((order & kOrderMask) == 0 || (order & kOrderMask) > kMaxPieces) broken_ = true;
  } else if (count_ == 0 || deleted_ || broken_ || order != next_ || next_ == 0 || checksum != checksum_) {
    // A piece out of order or of another name: what was gathered is stale, and so is every
    // piece up to the next first one.
    clear();
    broken_ = true;
    return;
  } else {
    --next_;
  }
  if (broken_) return;
  auto& piece = pieces_[static_cast<std::size_t>(count_++)];
  std::size_t k = 0;
  for (const auto& run : kLongRuns)
    for (std::size_t i = 0; i < run[1]; ++i) piece[k++] = static_cast<char16_t>(le16(slot, run[0] + 2 * i));
}

void LongNameRun::clear() {
  count_ = 0;
  next_ = 0;
  deleted_ = false;
  broken_ = false;
}

std::string LongNameRun::nameFor(const FatShortEntry& e) const {
  if (count_ == 0 || broken_) return {};
  // A live run names its 8.3 entry only when complete, down to the piece numbered 1.
  if (!deleted_ && next_ != 0) return {};
  // A live 8.3 entry vouches for its long name by the checksum; a deleted one cannot,
  // its first byte being overwritten.
  if (!e.deleted() && checksum_ != e.nameChecksum()) return {};
  std::u16string name;
  for (int i = count_ - 1; i >= 0; --i) {
    const auto& piece = pieces_[static_cast<std::size_t>(i)];
    const bool last = i == 0;
    for (std::size_t k = 0; k < piece.size(); ++k) {
      const char16_t c = piece[k];
      if (c == 0 || c == 0xFFFF) {
        // Only the name's last piece ends early; a shorter one inside belongs to a
        // name that was not this one.
        if (!last) return {};
        break;
      }
      name.push_back(c);
    }
  }
  return utf16ToUtf8(name);
}

}  // namespace quarnel
