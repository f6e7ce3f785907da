// Text conversion: every name leaves a parser as UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace quarnel {

// UTF-16 little-endian bytes (an odd last byte is ignored); unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(ByteSpan bytes);
std::string utf16ToUtf8(std::u16string_view text);
// UTF-16 big-endian bytes, as HFS+ stores names.
std::string utf16beToUtf8(ByteSpan bytes);
// Code page 437, the OEM code page of FAT short names.
std::string cp437ToUtf8(std::string_view text);
void appendUtf8(std::string& out, char32_t c);

}  // namespace quarnel
