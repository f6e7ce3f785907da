#include "raw/default_signatures.h"

#include "raw/signature_file.h"

namespace quarnel {
namespace {

constexpr std::int64_t kMiB = 1048576;
// 0x2A in a signature matches any byte: it stands where a header has a size or a version.
constexpr std::uint8_t kAny = 0x2A;

SignatureDraft ends(const char* ext, std::vector<std::uint8_t> start, std::vector<std::uint8_t> end,
                    std::int64_t approx, const char* category) {
  SignatureDraft d;
  d.extension = ext;
  d.startSignature = std::move(start);
  d.endSignature = std::move(end);
  d.approxSize = approx;
  d.category = category;
  return d;
}

SignatureDraft sized(const char* ext, std::vector<std::uint8_t> start, std::int32_t sizeOffset,
                     std::int32_t headerSize, bool includesHeader, std::int64_t approx,
                     const char* category) {
  SignatureDraft d = ends(ext, std::move(start), {}, approx, category);
  d.sizeOffset = sizeOffset;
  d.sizeBytes = 4;
  d.headerSize = headerSize;
  d.sizeIncludesHeader = includesHeader;
  return d;
}

}  // namespace

std::vector<SignatureDraft> defaultSignatureDrafts() {
  return {
      ends("jpg", {0xFF, 0xD8, 0xFF}, {0xFF, 0xD9}, 20 * kMiB, "Images"),
      ends("png", {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A},
           {0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82}, 20 * kMiB, "Images"),
      // GIF87a and GIF89a; the trailer follows the last block terminator.
      ends("gif", {0x47, 0x49, 0x46, 0x38, kAny, 0x61}, {0x00, 0x3B}, 10 * kMiB, "Images"),
      // "BM", the file size, then the two reserved words, which are zero.
      sized("bmp", {0x42, 0x4D, kAny, kAny, kAny, kAny, 0x00, 0x00, 0x00, 0x00}, 2, 0, true,
            50 * kMiB, "Images"),
      // "%%EOF" and the line end after it, whatever it is.
      ends("pdf", {0x25, 0x50, 0x44, 0x46, 0x2D}, {0x25, 0x25, 0x45, 0x4F, 0x46, kAny}, 100 * kMiB,
           "Documents"),
      // Also docx, xlsx, pptx, odt, jar, apk: all are zip archives.
      ends("zip", {0x50, 0x4B, 0x03, 0x04}, {0x50, 0x4B, 0x05, 0x06}, 100 * kMiB, "Archives"),
      ends("rar", {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07}, {}, 20 * kMiB, "Archives"),
      ends("7z", {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C}, {}, 20 * kMiB, "Archives"),
      // An ID3v2 tag: "ID3", major version, revision 0.
      ends("mp3", {0x49, 0x44, 0x33, kAny, 0x00}, {}, 10 * kMiB, "Audio"),
      // RIFF sizes leave out the eight bytes of "RIFF" and the size itself.
      sized("wav", {0x52, 0x49, 0x46, 0x46, kAny, kAny, kAny, kAny, 0x57, 0x41}, 4, 8, false,
            200 * kMiB, "Audio"),
      sized("avi", {0x52, 0x49, 0x46, 0x46, kAny, kAny, kAny, kAny, 0x41, 0x56}, 4, 8, false,
            1024 * kMiB, "Video"),
      // A small "ftyp" box first: MP4, MOV, M4A, 3GP.
      ends("mp4", {0x00, 0x00, 0x00, kAny, 0x66, 0x74, 0x79, 0x70}, {}, 100 * kMiB, "Video"),
      // "SQLite for" of "SQLite format 3".
      ends("db", {0x53, 0x51, 0x4C, 0x69, 0x74, 0x65, 0x20, 0x66, 0x6F, 0x72}, {}, 10 * kMiB,
           "Databases"),
      // The DOS header that Windows linkers write in front of every PE file.
      ends("exe", {0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00}, {}, 4 * kMiB,
           "Programs"),
  };
}

std::vector<SignatureRecord> defaultSignatureRecords() {
  std::vector<SignatureRecord> records;
  for (const SignatureDraft& d : defaultSignatureDrafts()) {
    BuiltRecord built = buildSignatureRecord(d, records.size());
    if (built.ok) records.push_back(built.record);
  }
  return records;
}

std::string writeDefaultSignatureFile(const std::string& path) {
  return writeSignatureFile(path, defaultSignatureRecords());
}

}  // namespace quarnel
