#include "platform/times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>

namespace quarnel {
namespace {

constexpr std::int64_t kFiletimeToUnix = 11644473600LL;  // seconds from 1601 to 1970

bool toLocal(Instant t, std::tm& out) {
  if (!t.valid) return false;
  auto s = static_cast<std::time_t>(t.seconds);
  return localtime_r(&s, &out) != nullptr;
}

}  // namespace

Instant instantFromFiletime(std::uint64_t filetime) {
  Instant t;
  t.seconds = static_cast<std::int64_t>(filetime / 10000000ULL) - kFiletimeToUnix;
  t.nanos = static_cast<std::int32_t>((filetime % 10000000ULL) * 100);
  t.valid = true;
  return t;
}

Instant instantFromUnix(std::int64_t seconds, std::int32_t nanos) { return {seconds, nanos, true}; }

Instant instantFromDosLocal(std::uint16_t date, std::uint16_t time, int centiseconds) {
  std::tm tm{};
  tm.tm_year = 80 + (date >> 9);
  tm.tm_mon = ((date >> 5) & 0x0F) - 1;
  tm.tm_mday = date & 0x1F;
  tm.tm_hour = time >> 11;
  tm.tm_min = (time >> 5) & 0x3F;
  tm.tm_sec = (time & 0x1F) * 2 + centiseconds / 100;
  tm.tm_isdst = -1;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 61)
    return {};
  std::time_t s = std::mktime(&tm);
  Instant t{static_cast<std::int64_t>(s), static_cast<std::int32_t>((centiseconds % 100) * 10000000), true};
  return t;
}

std::string dateText(Instant t) {
  std::tm tm{};
  if (!toLocal(t, tm)) return {};
  const bool pm = tm.tm_hour >= 12;
  int hour = tm.tm_hour % 12;
  if (hour == 0) hour = 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%d  %02d:%02d %s", tm.tm_mon + 1, tm.tm_mday,
                tm.tm_year + 1900, hour, tm.tm_min, pm ? "PM" : "AM");
  return buf;
}

std::string dateOnlyText(Instant t) {
  std::tm tm{};
  if (!toLocal(t, tm)) return {};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%d ", tm.tm_mon + 1, tm.tm_mday, tm.tm_year + 1900);
  return buf;
}

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil_from_days): no
// library call, no lock, for the listings that print one time per entry.
void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

void putDigits(char* at, unsigned v, int width) {
  for (int i = width - 1; i >= 0; --i, v /= 10) at[i] = static_cast<char>('0' + v % 10);
}

}  // namespace

std::string isoUtcText(Instant t) {
  if (!t.valid) return "-";
  std::int64_t days = t.seconds / 86400, rest = t.seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  civilFromDays(days, year, month, day);
  if (year < 0 || year > 9999) return "-";
  std::string out = "0000-00-00T00:00:00Z";
  putDigits(&out[0], static_cast<unsigned>(year), 4);
  putDigits(&out[5], month, 2);
  putDigits(&out[8], day, 2);
  putDigits(&out[11], static_cast<unsigned>(rest / 3600), 2);
  putDigits(&out[14], static_cast<unsigned>(rest / 60 % 60), 2);
  putDigits(&out[17], static_cast<unsigned>(rest % 60), 2);
  return out;
}

std::string sizeText(std::uint64_t n) {
  char buf[64];
  if (n >= (1ULL << 30))
    std::snprintf(buf, sizeof buf, "%.2f GB", static_cast<double>(n) / (1ULL << 30));
  else if (n >= (1ULL << 20))
    std::snprintf(buf, sizeof buf, "%.2f MB", static_cast<double>(n) / (1ULL << 20));
  else if (n >= (1ULL << 10))
    std::snprintf(buf, sizeof buf, "%.2f KB", static_cast<double>(n) / (1ULL << 10));
  else
    std::snprintf(buf, sizeof buf, "%lld Bytes", static_cast<long long>(n));
  return buf;
}

bool setFileTimes(const std::string& path, Instant accessed, Instant modified) {
  timespec ts[2];
  auto fill = [](timespec& out, Instant t) {
    if (t.valid) {
      out.tv_sec = static_cast<time_t>(t.seconds);
      out.tv_nsec = t.nanos;
    } else {
      out.tv_sec = 0;
      out.tv_nsec = UTIME_OMIT;
    }
  };
  fill(ts[0], accessed);
  fill(ts[1], modified);
  return utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace quarnel
