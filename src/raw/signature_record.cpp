#include "raw/signature_record.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "platform/text.h"

namespace quarnel {
namespace {

namespace L = signature_layout;
using Record = std::array<std::byte, kSignatureRecordSize>;

void putLE(Record& r, std::size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) r[offset + static_cast<std::size_t>(i)] = static_cast<std::byte>(value >> (8 * i));
}

// Units up to the first zero.
template <std::size_t N>
std::u16string unitsText(const std::array<char16_t, N>& units) {
  std::u16string s;
  for (char16_t c : units) {
    if (c == 0) break;
    s += c;
  }
  return s;
}

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < s.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((t & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (t & 0x3F);
    }
    if (!valid || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

SignatureRecord SignatureRecord::decode(ByteSpan b) {
  SignatureRecord r;
  for (std::size_t i = 0; i < kExtensionUnits; ++i) r.extension[i] = le16(b, L::kExtension + 2 * i);
  r.extensionLength = u8(b, L::kExtensionLength);
  for (std::size_t i = 0; i < kMaxSignatureBytes; ++i) {
    r.startSignature[i] = u8(b, L::kStartSignature + i);
    r.endSignature[i] = u8(b, L::kEndSignature + i);
  }
  r.startLength = u8(b, L::kStartLength);
  r.endLength = u8(b, L::kEndLength);
  r.recordNumber = u8(b, L::kRecordNumber);
  r.sizeOffset = static_cast<std::int32_t>(le32(b, L::kSizeOffset));
  r.sizeBytes = static_cast<std::int32_t>(le32(b, L::kSizeBytes));
  r.headerSize = static_cast<std::int32_t>(le32(b, L::kHeaderSize));
  r.sizeIncludesHeader = u8(b, L::kSizeIncludesHeader);
  r.approxSize = static_cast<std::int64_t>(le64(b, L::kApproxSize));
  r.skipSize = static_cast<std::int64_t>(le64(b, L::kSkipSize));
  for (std::size_t i = 0; i < kCategoryUnits; ++i) r.category[i] = le16(b, L::kCategory + 2 * i);
  return r;
}

std::array<std::byte, kSignatureRecordSize> SignatureRecord::encode() const {
  Record r{};
  for (std::size_t i = 0; i < kExtensionUnits; ++i) putLE(r, L::kExtension + 2 * i, extension[i], 2);
  putLE(r, L::kExtensionLength, extensionLength, 1);
  for (std::size_t i = 0; i < kMaxSignatureBytes; ++i) {
    putLE(r, L::kStartSignature + i, startSignature[i], 1);
    putLE(r, L::kEndSignature + i, endSignature[i], 1);
  }
  putLE(r, L::kStartLength, startLength, 1);
  putLE(r, L::kEndLength, endLength, 1);
  putLE(r, L::kRecordNumber, recordNumber, 1);
  putLE(r, L::kSizeOffset, static_cast<std::uint32_t>(sizeOffset), 4);
  putLE(r, L::kSizeBytes, static_cast<std::uint32_t>(sizeBytes), 4);
  putLE(r, L::kHeaderSize, static_cast<std::uint32_t>(headerSize), 4);
  putLE(r, L::kSizeIncludesHeader, sizeIncludesHeader, 1);
  putLE(r, L::kApproxSize, static_cast<std::uint64_t>(approxSize), 8);
  putLE(r, L::kSkipSize, static_cast<std::uint64_t>(skipSize), 8);
  for (std::size_t i = 0; i < kCategoryUnits; ++i) putLE(r, L::kCategory + 2 * i, category[i], 2);
  return r;
}

bool SignatureRecord::plausible() const {
  return startLength >= 1 && startLength <= kMaxSignatureBytes && endLength <= kMaxSignatureBytes;
}

std::string SignatureRecord::extensionText() const { return utf16ToUtf8(unitsText(extension)); }
std::string SignatureRecord::categoryText() const { return utf16ToUtf8(unitsText(category)); }

std::vector<std::uint8_t> SignatureRecord::startBytes() const {
  return {startSignature.begin(), startSignature.begin() + std::min<std::size_t>(startLength, kMaxSignatureBytes)};
}
std::vector<std::uint8_t> SignatureRecord::endBytes() const {
  return {endSignature.begin(), endSignature.begin() + std::min<std::size_t>(endLength, kMaxSignatureBytes)};
}

BuiltRecord buildSignatureRecord(const SignatureDraft& d, std::size_t recordNumber) {
  BuiltRecord out;
  const std::u16string ext = utf8ToUtf16(d.extension);
  const std::u16string category = utf8ToUtf16(d.category);
  if (ext.empty()) {
    out.message = "extention length is zero..";
    return out;
  }
  if (d.startSignature.empty()) {
    out.message = "signature length is zero..";
    return out;
  }
  if (d.startSignature.size() > kMaxSignatureBytes || d.endSignature.size() > kMaxSignatureBytes) {
    out.message = "a signature holds at most 10 bytes..";
    return out;
  }
  if (category.size() > kMaxCategoryChars) {
    out.message = "a category holds at most 49 characters..";
    return out;
  }
  SignatureRecord& r = out.record;
  for (std::size_t i = 0; i < kExtensionUnits && i < ext.size(); ++i) r.extension[i] = ext[i];
  r.extensionLength = static_cast<std::uint8_t>(std::min<std::size_t>(ext.size(), 255));
  for (std::size_t i = 0; i < d.startSignature.size(); ++i) r.startSignature[i] = d.startSignature[i];
  for (std::size_t i = 0; i < d.endSignature.size(); ++i) r.endSignature[i] = d.endSignature[i];
  r.startLength = static_cast<std::uint8_t>(d.startSignature.size());
  r.endLength = static_cast<std::uint8_t>(d.endSignature.size());
  r.recordNumber = static_cast<std::uint8_t>(recordNumber % 256);
  r.sizeOffset = d.sizeOffset > 0 ? d.sizeOffset : -1;
  r.sizeBytes = d.sizeBytes;
  r.headerSize = d.headerSize;
  r.sizeIncludesHeader = d.sizeIncludesHeader ? 1 : 0;
  r.approxSize = d.approxSize;
  r.skipSize = d.skipSize;
  for (std::size_t i = 0; i < category.size(); ++i) r.category[i] = category[i];
  out.ok = true;
  return out;
}

std::vector<std::uint8_t> parseSignatureText(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  while (true) {
    const std::size_t comma = text.find(',');
    std::string_view piece = trimmed(text.substr(0, comma));
    if (!piece.empty()) {
      if (piece.size() > 2 && piece[0] == '0' && (piece[1] == 'x' || piece[1] == 'X')) piece.remove_prefix(2);
      unsigned value = 0;  // only the low byte is kept, so the rest may wrap
      for (char c : piece) {
        const int digit = hexDigit(c);
        if (digit < 0) break;
        value = (value << 4) | static_cast<unsigned>(digit);
      }
      bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return bytes;
}

std::int32_t parseDecimalText(std::string_view text) {
  text = trimmed(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min(value * 10 + (c - '0'), kLimit);
  }
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::string signatureText(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s += ',';
    s += kHex[b >> 4];
    s += kHex[b & 0xF];
  }
  return s;
}

}  // namespace quarnel
