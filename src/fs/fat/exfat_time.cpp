#include "fs/fat/exfat_time.h"

namespace quarnel {
namespace {

constexpr std::uint8_t kOffsetValid = 0x80;
constexpr int kMaxTenMs = 199;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

Instant exfatInstant(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset) {
  const auto date = static_cast<std::uint16_t>(stamp >> 16);
  const auto time = static_cast<std::uint16_t>(stamp & 0xFFFF);
  const int cs = tenMs <= kMaxTenMs ? tenMs : 0;
  if (!(utcOffset & kOffsetValid)) return instantFromDosLocal(date, time, cs);
  const unsigned day = date & 0x1F, month = (date >> 5) & 0x0F;
  const int hour = time >> 11, minute = (time >> 5) & 0x3F, second = (time & 0x1F) * 2;
  if (day < 1 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) return {};
  // Seven-bit two's complement, in quarters of an hour east of UTC.
  const int quarters = (utcOffset & 0x40) ? static_cast<int>(utcOffset & 0x7F) - 128 : (utcOffset & 0x7F);
  const std::int64_t days = daysFromCivil(1980 + (date >> 9), month, day);
  const std::int64_t local = days * 86400 + hour * 3600 + minute * 60 + second + cs / 100;
  return {local - static_cast<std::int64_t>(quarters) * 15 * 60, static_cast<std::int32_t>((cs % 100) * 10000000), true};
}

}  // namespace quarnel
