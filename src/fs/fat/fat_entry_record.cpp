#include "fs/fat/fat_entry_record.h"

namespace quarnel {

FatEntryRecord FatEntryRecord::fromEntry(const FatShortEntry& e) {
  FatEntryRecord r;
  r.attribute = e.attribute;
  r.creation10ms = e.creation10ms;
  r.creationTime = e.creationTime;
  r.creationDate = e.creationDate;
  r.accessDate = e.accessDate;
  r.firstClusterHigh = e.firstClusterHigh;
  r.writeTime = e.writeTime;
  r.writeDate = e.writeDate;
  r.firstClusterLow = e.firstClusterLow;
  r.size = e.size;
  return r;
}

std::string fatAttributeText(std::uint16_t a) {
  std::string t;
  if (a & 0x01) t += "-R";
  if (a & 0x02) t += "-H";
  if (a & 0x04) t += "-S";
  if (a & 0x20) t += "-A";
  return t;
}

Instant fatCreated(const FatEntryRecord& r) {
  return instantFromDosLocal(r.creationDate, r.creationTime, r.creation10ms);
}
Instant fatAccessed(const FatEntryRecord& r) { return instantFromDosLocal(r.accessDate, 0); }
Instant fatModified(const FatEntryRecord& r) { return instantFromDosLocal(r.writeDate, r.writeTime); }

FatEntryTexts fatEntryTimeTexts(const FatEntryRecord& r) {
  return {dateText(fatCreated(r)), dateOnlyText(fatAccessed(r)), dateText(fatModified(r)),
          fatAttributeText(r.attribute)};
}

}  // namespace quarnel
