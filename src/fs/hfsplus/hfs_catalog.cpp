#include "fs/hfsplus/hfs_catalog.h"

#include "platform/text.h"

namespace quarnel::hfs {
namespace {

constexpr std::size_t kKeyLength = 0;
constexpr std::size_t kKeyParent = 2;
constexpr std::size_t kKeyNameLength = 6;
constexpr std::size_t kKeyName = 8;
constexpr std::size_t kKeyFixed = 6;  // parent and name length, counted by the key length
constexpr std::uint16_t kMaxName = 255;

constexpr std::size_t kType = 0;
constexpr std::size_t kId = 8;
constexpr std::size_t kCreateDate = 12;
constexpr std::size_t kContentModDate = 16;
constexpr std::size_t kAttributeModDate = 20;
constexpr std::size_t kAccessDate = 24;
constexpr std::size_t kFileMode = 42;
constexpr std::size_t kDataFork = 88;
constexpr std::size_t kForkSize = 80;
constexpr std::size_t kFolderRecordSize = 88;
constexpr std::size_t kFileRecordSize = 248;

constexpr std::int64_t kHfsToUnix = 2082844800;  // seconds from 1904 to 1970

}  // namespace

bool decodeCatalogRecord(ByteSpan node, std::size_t offset, std::size_t end, CatalogRecord& out) {
  if (end > node.size() || offset >= end) return false;
  ByteSpan rec = node.subspan(offset, end - offset);
  const std::uint16_t keyLength = be16(rec, kKeyLength);
  const std::uint16_t nameLength = be16(rec, kKeyNameLength);
  if (nameLength == 0 || nameLength > kMaxName) return false;
  // A leaf key is exactly its parent, length and name: anything else is another tree's record.
  if (keyLength != kKeyFixed + 2 * std::size_t{nameLength}) return false;
  const std::size_t data = 2 + std::size_t{keyLength};
  const std::int16_t type = static_cast<std::int16_t>(be16(rec, data + kType));
  const std::size_t need = type == kFolderRecord ? kFolderRecordSize : type == kFileRecord ? kFileRecordSize : 0;
  if (need == 0 || !fits(rec, data, need)) return false;
  out = CatalogRecord{};
  out.type = type;
  out.parent = be32(rec, kKeyParent);
  out.name = utf16beToUtf8(rec.subspan(kKeyName, 2 * std::size_t{nameLength}));
  out.id = be32(rec, data + kId);
  out.createDate = be32(rec, data + kCreateDate);
  out.contentModDate = be32(rec, data + kContentModDate);
  out.attributeModDate = be32(rec, data + kAttributeModDate);
  out.accessDate = be32(rec, data + kAccessDate);
  out.mode = be16(rec, data + kFileMode);
  if (type == kFileRecord) out.dataFork = ForkData::decode(rec.subspan(data + kDataFork, kForkSize));
  return true;
}

Instant instantFromHfs(std::uint32_t seconds) {
  if (seconds == 0) return {};
  return instantFromUnix(static_cast<std::int64_t>(seconds) - kHfsToUnix);
}

std::string hfsPermissionLetters(std::uint16_t mode) {
  struct Letter {
    std::uint16_t bit;
    const char* text;
  };
  static constexpr Letter kLetters[] = {{0x040, "-Owner:X"}, {0x080, "-Owner:W"}, {0x100, "-Owner:R"},
                                        {0x001, "-OX"},      {0x002, "-OW"},      {0x004, "-OR"},
                                        {0x008, "-GX"},      {0x010, "-GW"},      {0x020, "-GR"}};
  std::string out;
  for (const Letter& l : kLetters)
    if (mode & l.bit) out += l.text;
  return out;
}

}  // namespace quarnel::hfs
