// One file-type definition as the signature files keep it: a 171-byte little-endian record,
// written and read field by field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace quarnel {

inline constexpr std::size_t kSignatureRecordSize = 171;
inline constexpr std::size_t kMaxSignatureBytes = 10;
inline constexpr std::size_t kExtensionUnits = 4;
inline constexpr std::size_t kCategoryUnits = 50;  // 49 characters and the terminating zero
inline constexpr std::size_t kMaxCategoryChars = kCategoryUnits - 1;

// Byte offsets of the record's fields. The gaps (0x08, 0x2F, 0xA7) are written as zeros.
namespace signature_layout {
inline constexpr std::size_t kExtension = 0x00;           // 4 UTF-16 units
inline constexpr std::size_t kExtensionLength = 0x0A;     // characters as typed
inline constexpr std::size_t kStartSignature = 0x0B;      // 10 bytes
inline constexpr std::size_t kEndSignature = 0x15;        // 10 bytes
inline constexpr std::size_t kStartLength = 0x1F;
inline constexpr std::size_t kEndLength = 0x20;
inline constexpr std::size_t kRecordNumber = 0x21;        // records before this one, mod 256
inline constexpr std::size_t kSizeOffset = 0x22;          // signed 32, -1 = none
inline constexpr std::size_t kSizeBytes = 0x26;           // signed 32
inline constexpr std::size_t kHeaderSize = 0x2A;          // signed 32
inline constexpr std::size_t kSizeIncludesHeader = 0x2E;
inline constexpr std::size_t kApproxSize = 0x33;          // signed 64
inline constexpr std::size_t kSkipSize = 0x3B;            // signed 64
inline constexpr std::size_t kCategory = 0x43;            // 50 UTF-16 units
}  // namespace signature_layout

struct SignatureRecord {
  std::array<char16_t, kExtensionUnits> extension{};
  std::uint8_t extensionLength = 0;
  std::array<std::uint8_t, kMaxSignatureBytes> startSignature{};
  std::array<std::uint8_t, kMaxSignatureBytes> endSignature{};
  std::uint8_t startLength = 0;
  std::uint8_t endLength = 0;
  std::uint8_t recordNumber = 0;
  std::int32_t sizeOffset = -1;
  std::int32_t sizeBytes = 0;
  std::int32_t headerSize = 0;
  std::uint8_t sizeIncludesHeader = 0;
  std::int64_t approxSize = 0;
  std::int64_t skipSize = 0;
  std::array<char16_t, kCategoryUnits> category{};

  // Reads the fields from the first 171 bytes of bytes (missing bytes read as zero).
  static SignatureRecord decode(ByteSpan bytes);
  std::array<std::byte, kSignatureRecordSize> encode() const;

  // Whether the signature lengths fit their fields; a record that fails is never used.
  bool plausible() const;

  // The stored extension (at most four characters) and category, as UTF-8.
  std::string extensionText() const;
  std::string categoryText() const;
  std::vector<std::uint8_t> startBytes() const;
  std::vector<std::uint8_t> endBytes() const;
};

// A definition as its author means it, before it is fitted into a record.
struct SignatureDraft {
  std::string extension;  // UTF-8, no dot
  std::vector<std::uint8_t> startSignature;
  std::vector<std::uint8_t> endSignature;
  std::int32_t sizeOffset = 0;  // stored only when greater than 0
  std::int32_t sizeBytes = 0;
  std::int32_t headerSize = 0;
  bool sizeIncludesHeader = false;
  std::int64_t approxSize = 0;
  std::int64_t skipSize = 0;
  std::string category;   // UTF-8
};

struct BuiltRecord {
  bool ok = false;
  SignatureRecord record;
  std::string message;  // why not, when !ok
};

// Fits a draft into a record numbered recordNumber (records already in the file, mod 256).
// Refuses an empty extension ("extention length is zero.."), an empty starting signature
// ("signature length is zero.."), signatures of more than 10 bytes and categories of more
// than 49 characters, so that nothing is ever cut or overrun.
BuiltRecord buildSignatureRecord(const SignatureDraft& draft, std::size_t recordNumber);

// The editor's reading of a signature field: pieces split at commas, empty pieces skipped,
// each a hexadecimal number with an optional "0x" (not a number: 0) of which the low byte
// is kept. Pieces of blanks only count as empty.
std::vector<std::uint8_t> parseSignatureText(std::string_view text);
// The editor's reading of a decimal field as a signed 32-bit value (not a number: 0).
std::int32_t parseDecimalText(std::string_view text);

// "FF,D8,FF": the form parseSignatureText reads back.
std::string signatureText(const std::vector<std::uint8_t>& bytes);

}  // namespace quarnel
