// LZNT1, the compression NTFS applies to a compressed file one unit at a time: a unit is
// a chain of chunks, each a 16-bit header and at most 4096 bytes of output.
#pragma once

#include <cstddef>

#include "platform/bytes.h"

namespace quarnel {

// Decompresses one unit into output (zero-filled first), never writing past its end.
// Returns the bytes produced. A chunk that reaches past the input, a literal that would
// pass the output's end or a back-reference before its chunk's start ends decoding; what
// was produced so far counts.
std::size_t lznt1Decompress(ByteSpan input, MutableByteSpan output);

}  // namespace quarnel
