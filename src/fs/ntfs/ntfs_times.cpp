// Time stamps and attribute letters of a record, and the texts the file list shows.
#include "fs/ntfs/ntfs.h"

namespace quarnel {
namespace {

using namespace ntfs_format;

constexpr std::size_t kFileNameFlags = 0x38;

}  // namespace

Instant ntfsInstant(std::uint64_t filetime) {
  // A record without $STANDARD_INFORMATION has no time at all, not one in 1601.
  return filetime == 0 ? Instant{} : instantFromFiletime(filetime);
}

EntryTimes ntfs::timesFrom(ByteSpan record, const std::vector<AttributeHeader>& attributes) {
  EntryTimes t;
  for (const AttributeHeader& a : attributes) {
    if (a.nonResident) continue;
    if (a.type == kStandardInformation) {
      const StandardInformation si = StandardInformation::decode(a.content(record));
      t.created = si.created;
      t.modified = si.modified;
      t.accessed = si.accessed;
    } else if (a.type == kFileName) {
      t.letters = attributeLetters(le16(a.contentToRecordEnd(record), kFileNameFlags));
    }
  }
  return t;
}

EntryTimes ntfs::readTimes(std::uint64_t position) {
  std::vector<std::byte> record;
  if (!readRecord(position, record)) return {};
  const RecordHeader h = RecordHeader::decode(record);
  return timesFrom(record, walkAttributes(record, h.firstAttribute));
}

EntryTimes ntfs::entryTimes(std::int64_t i) {
  if (!validIndex(i) || i == orphanIndex) return {};
  const NtfsEntryRecord& e = entryList[i];
  return e.summary ? e.summary->times : readTimes(e.position);
}

std::array<std::string, 4> ntfs::entryTimeTexts(const NtfsEntryRecord& entry) {
  if (validIndex(orphanIndex) && &entry == &entryList[orphanIndex]) return {};
  const EntryTimes t = entry.summary ? entry.summary->times : readTimes(entry.position);
  return {dateText(ntfsInstant(t.created)), dateText(ntfsInstant(t.accessed)), dateText(ntfsInstant(t.modified)),
          t.letters};
}

}  // namespace quarnel
