// A read that keeps what can be read: when one run fails, it is read again in pieces, and
// only the sectors of a failing piece one by one, so a bad sector costs its own bytes (zeros)
// and a few extra reads, not the whole run. Used by export, the boot-sector scan and the
// content streamer alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/bytes.h"
#include "storage/read_write_interface.h"

namespace quarnel {

// Reads out.size() bytes at offset. Unreadable stretches come back as zeros and are told to
// bad(first byte in out, length), merged and in order. True when everything was read. stop,
// when given, ends the sector-by-sector part early (what is left stays zeros, unreported).
bool readRescuing(readWriteInterface& source, std::int64_t offset, MutableByteSpan out,
                  const std::function<void(std::size_t, std::size_t)>& bad,
                  const std::function<bool()>& stop = {});

}  // namespace quarnel
