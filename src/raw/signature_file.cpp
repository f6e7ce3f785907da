#include "raw/signature_file.h"

#include <fstream>

#include "platform/output_file.h"
#include "platform/raw_file.h"

namespace quarnel {
namespace {

constexpr const char* kNotValid = "not a valid file..";

SignatureFileLoad invalid(const char* message) {
  SignatureFileLoad r;
  r.status = LoadStatus::Invalid;
  r.message = message;
  return r;
}

}  // namespace

SignatureFileLoad loadSignatureFile(const std::string& path, SignatureFileVariant variant) {
  const bool chosen = variant == SignatureFileVariant::Chosen;
  RawFile file;
  if (!file.open(path)) return chosen ? invalid("can not open file") : SignatureFileLoad{};
  const std::int64_t size = file.size();
  if (size < static_cast<std::int64_t>(kSignatureRecordSize))
    return chosen ? invalid(kNotValid) : SignatureFileLoad{};
  constexpr auto kRecord = static_cast<std::int64_t>(kSignatureRecordSize);
  if (size - kRecord > kMaxLastRecordStart || size % kRecord != 0) return invalid(kNotValid);

  // Bounded above: at most 1 MiB and one record.
  std::vector<std::byte> bytes(static_cast<std::size_t>(size));
  if (file.readAt(0, bytes) != size) return invalid(kNotValid);
  const std::size_t count = bytes.size() / kSignatureRecordSize;
  auto recordBytes = [&](std::size_t i) {
    return ByteSpan(bytes).subspan(i * kSignatureRecordSize, kSignatureRecordSize);
  };
  const SignatureRecord last = SignatureRecord::decode(recordBytes(count - 1));
  if (chosen && last.sizeBytes > 8) return invalid(kNotValid);
  if (static_cast<std::size_t>(last.recordNumber) + 1 != count) return invalid(kNotValid);

  SignatureFileLoad r;
  for (std::size_t i = 0; i < count; ++i) {
    SignatureRecord rec = SignatureRecord::decode(recordBytes(i));
    if (!rec.plausible()) return invalid(kNotValid);
    r.records.push_back(rec);
  }
  r.status = LoadStatus::Loaded;
  return r;
}

std::string writeSignatureFile(const std::string& path, std::vector<SignatureRecord> records) {
  if (records.size() > kMaxRecordsPerFile) return path + ": more than 256 records";
  OutputFile out;
  if (!out.create(path, true)) return out.error();
  for (std::size_t i = 0; i < records.size(); ++i) {
    records[i].recordNumber = static_cast<std::uint8_t>(i);
    const auto bytes = records[i].encode();
    if (!out.write(bytes)) return out.error();
  }
  return out.close() ? std::string() : out.error();
}

SignatureDraft draftFromEditorFields(const SignatureEditorFields& f) {
  SignatureDraft d;
  d.extension = f.extension;
  d.startSignature = parseSignatureText(f.startSignature);
  d.endSignature = parseSignatureText(f.endSignature);
  d.sizeOffset = parseDecimalText(f.sizeOffset);
  d.sizeBytes = parseDecimalText(f.sizeBytes);
  d.headerSize = parseDecimalText(f.headerSize);
  d.sizeIncludesHeader = f.sizeIncludesHeader;
  d.skipSize = parseDecimalText(f.skipSize);
  d.approxSize = parseDecimalText(f.approxSize);
  d.category = f.category;
  return d;
}

AppendResult appendSignatureRecord(const std::string& path, const SignatureDraft& draft) {
  AppendResult r;
  std::size_t count = 0;
  {
    RawFile existing;
    if (existing.open(path) && existing.size() > 0) {
      SignatureFileLoad load = loadSignatureFile(path, SignatureFileVariant::Chosen);
      if (load.status != LoadStatus::Loaded) {
        r.message = load.message;
        r.fileProblem = true;
        return r;
      }
      count = load.records.size();
    }
  }
  if (count >= kMaxRecordsPerFile) {
    r.message = "the file already holds 256 records..";
    r.fileProblem = true;
    return r;
  }
  BuiltRecord built = buildSignatureRecord(draft, count);
  if (!built.ok) {
    r.message = built.message;
    return r;
  }
  const auto bytes = built.record.encode();
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    r.message = "file can not be created";
    r.fileProblem = true;
    return r;
  }
  r.ok = true;
  r.recordNumber = count;
  r.message = "everything initialized well.....";
  return r;
}

}  // namespace quarnel
