#include "platform/times.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace quarnel {
namespace {

class InZone {
 public:
  explicit InZone(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~InZone() {
    if (had_) setenv("TZ", old_.c_str(), 1); else unsetenv("TZ");
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(Times, TwelveHourClockTexts) {
  InZone utc("UTC");
  struct Case { int hour, minute; const char* text; };
  const Case cases[] = {{0, 10, "03/07/2009  12:10 AM"}, {12, 30, "03/07/2009  12:30 PM"},
                        {13, 5, "03/07/2009  01:05 PM"}, {11, 59, "03/07/2009  11:59 AM"},
                        {23, 0, "03/07/2009  11:00 PM"}};
  const std::int64_t day = 1236384000;  // 2009-03-07 00:00 UTC
  for (const Case& c : cases)
    EXPECT_EQ(dateText(instantFromUnix(day + c.hour * 3600 + c.minute * 60)), c.text);
  EXPECT_EQ(dateOnlyText(instantFromUnix(day)), "03/07/2009 ");
  EXPECT_EQ(dateText(Instant{}), "");
}

TEST(Times, TextsAreLocalInstantsAreNot) {
  InZone berlin("Europe/Berlin");
  // FILETIME of 2009-03-07 14:05:00 UTC.
  Instant t = instantFromFiletime((1236434700ULL + 11644473600ULL) * 10000000ULL + 5);
  EXPECT_EQ(t.seconds, 1236434700);
  EXPECT_EQ(t.nanos, 500);
  EXPECT_EQ(dateText(t), "03/07/2009  03:05 PM");
  EXPECT_EQ(isoUtcText(t), "2009-03-07T14:05:00Z");
  // A DOS time is the writer's local time: 2024-02-03 04:05:06 in Berlin is 03:05:06 UTC.
  Instant dos = instantFromDosLocal(((2024 - 1980) << 9) | (2 << 5) | 3, (4 << 11) | (5 << 5) | 3);
  EXPECT_EQ(isoUtcText(dos), "2024-02-03T03:05:06Z");
  EXPECT_FALSE(instantFromDosLocal(0, 0).valid);  // month 0
}

// The listing's UTC text agrees with the C library's calendar wherever both reach.
TEST(Times, UtcTextsAgreeWithTheCalendar) {
  for (std::int64_t s : {std::int64_t{-11644473600}, std::int64_t{-1}, std::int64_t{0}, std::int64_t{951782400},
                         std::int64_t{951868799}, std::int64_t{1709164800}, std::int64_t{2147483648},
                         std::int64_t{253402300799}}) {
    const auto t = static_cast<std::time_t>(s);
    std::tm tm{};
    ASSERT_TRUE(gmtime_r(&t, &tm));
    char want[32];
    std::strftime(want, sizeof want, "%Y-%m-%dT%H:%M:%SZ", &tm);
    EXPECT_EQ(isoUtcText(instantFromUnix(s)), want) << s;
  }
  EXPECT_EQ(isoUtcText(instantFromUnix(253402300800)), "-");  // past year 9999
}

TEST(Times, SizeTexts) {
  struct Case { std::uint64_t n; const char* text; };
  for (Case c : {Case{0, "0 Bytes"}, Case{1023, "1023 Bytes"}, Case{1024, "1.00 KB"},
                 Case{1048576, "1.00 MB"}, Case{1536ULL << 20, "1.50 GB"}})
    EXPECT_EQ(sizeText(c.n), c.text);
}

}  // namespace
}  // namespace quarnel
