// exFAT time stamps: a DOS date and time in one 32-bit value, a 10-ms increment, and a
// UTC offset in 15-minute steps that counts only when its valid bit is set.
#pragma once

#include <cstdint>

#include "platform/times.h"

namespace quarnel {

// With a valid offset the stamp is that far from UTC; without one it is the machine's
// local time, as on FAT.
Instant exfatInstant(std::uint32_t stamp, std::uint8_t tenMs, std::uint8_t utcOffset);

}  // namespace quarnel
