// Explicit little- and big-endian readers over a byte span. Every read names its byte order
// and is bounds-checked: a read past the span yields 0 rather than touching foreign memory,
// so a damaged on-disk field can never fault the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quarnel {

using ByteSpan = std::span<const std::byte>;
using MutableByteSpan = std::span<std::byte>;

inline bool fits(ByteSpan s, std::size_t offset, std::size_t width) {
  return offset <= s.size() && width <= s.size() - offset;
}

inline std::uint8_t u8(ByteSpan s, std::size_t offset) {
  return fits(s, offset, 1) ? static_cast<std::uint8_t>(s[offset]) : 0;
}

template <int N>
inline std::uint64_t leN(ByteSpan s, std::size_t offset) {
  if (!fits(s, offset, N)) return 0;
  std::uint64_t v = 0;
  for (int i = N - 1; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[offset + i]);
  return v;
}

template <int N>
inline std::uint64_t beN(ByteSpan s, std::size_t offset) {
  if (!fits(s, offset, N)) return 0;
  std::uint64_t v = 0;
  for (int i = 0; i < N; ++i) v = (v << 8) | static_cast<std::uint8_t>(s[offset + i]);
  return v;
}

inline std::uint16_t le16(ByteSpan s, std::size_t o) { return static_cast<std::uint16_t>(leN<2>(s, o)); }
inline std::uint32_t le32(ByteSpan s, std::size_t o) { return static_cast<std::uint32_t>(leN<4>(s, o)); }
inline std::uint64_t le64(ByteSpan s, std::size_t o) { return leN<8>(s, o); }
inline std::uint16_t be16(ByteSpan s, std::size_t o) { return static_cast<std::uint16_t>(beN<2>(s, o)); }
inline std::uint32_t be32(ByteSpan s, std::size_t o) { return static_cast<std::uint32_t>(beN<4>(s, o)); }
inline std::uint64_t be64(ByteSpan s, std::size_t o) { return beN<8>(s, o); }

// True when the bytes at offset spell text exactly.
inline bool hasText(ByteSpan s, std::size_t offset, std::string_view text) {
  if (!fits(s, offset, text.size())) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (static_cast<char>(s[offset + i]) != text[i]) return false;
  return true;
}

inline ByteSpan asBytes(const void* data, std::size_t size) {
  return {static_cast<const std::byte*>(data), size};
}

}  // namespace quarnel
