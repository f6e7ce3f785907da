// Time stamps as the file systems store them, turned into true instants, the texts the
// user is shown (local time of the machine, TZ), and setting them on saved files.
#pragma once

#include <cstdint>
#include <string>

namespace quarnel {

// An instant in UTC: seconds and nanoseconds since 1970-01-01.
struct Instant {
  std::int64_t seconds = 0;
  std::int32_t nanos = 0;
  bool valid = false;
};

// NTFS FILETIME: 100-ns units since 1601-01-01 UTC.
Instant instantFromFiletime(std::uint64_t filetime);
Instant instantFromUnix(std::int64_t seconds, std::int32_t nanos = 0);
// A FAT date and time, which hold the local time of the machine that wrote them; false
// validity for an impossible date. centiseconds adds the 10-ms creation-time field.
Instant instantFromDosLocal(std::uint16_t date, std::uint16_t time, int centiseconds = 0);

// "MM/DD/YYYY  hh:mm AM" in local time on a 12-hour clock (00:mm shows as 12:mm AM, noon
// as 12:mm PM); empty for an invalid instant.
std::string dateText(Instant t);
// "MM/DD/YYYY " (date only, a trailing blank), for FAT last-access dates.
std::string dateOnlyText(Instant t);
// "YYYY-MM-DDTHH:MM:SSZ" in UTC, or "-" for an invalid instant.
std::string isoUtcText(Instant t);

// "%.2f GB" / "%.2f MB" / "%.2f KB" / "%lld Bytes".
std::string sizeText(std::uint64_t bytes);

// Sets the access and modification times of a file (Linux keeps no creation time).
// An invalid instant leaves that time as it is.
bool setFileTimes(const std::string& path, Instant accessed, Instant modified);

}  // namespace quarnel
