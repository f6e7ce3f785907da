// Signature definitions files: a plain run of 171-byte records whose last record tells how
// many there are. The reader in its two variants, the writer, and the editor's Save.
#pragma once

#include <string>
#include <vector>

#include "raw/signature_record.h"

namespace quarnel {

// Records whose last one would start past this byte make a file invalid.
inline constexpr std::int64_t kMaxLastRecordStart = 1048576;
inline constexpr std::size_t kMaxRecordsPerFile = 256;  // recordNumber is one byte

// Default: the file beside the program, skipped without a word when it is absent or
// shorter than one record. Chosen: a file the user named, which must be there.
enum class SignatureFileVariant { Default, Chosen };

enum class LoadStatus { Loaded, Skipped, Invalid };

struct SignatureFileLoad {
  LoadStatus status = LoadStatus::Skipped;
  std::vector<SignatureRecord> records;  // in file order; empty unless Loaded
  std::string message;                   // "can not open file" or "not a valid file.." when Invalid
};

// Besides the two messages' own cases, a file is "not a valid file.." when its length is not
// a whole number of records, when the last record's count disagrees with that number, or
// when a record's signature lengths do not fit their fields: nothing is loaded from it.
SignatureFileLoad loadSignatureFile(const std::string& path, SignatureFileVariant variant);

// Writes records as a new file at path (replacing one there), numbering them 0, 1, ...
// Returns why not, or empty.
std::string writeSignatureFile(const std::string& path, std::vector<SignatureRecord> records);

// The editor's fields as typed.
struct SignatureEditorFields {
  std::string extension, startSignature, endSignature;
  std::string sizeOffset, sizeBytes, headerSize, skipSize, approxSize;
  bool sizeIncludesHeader = false;
  std::string category;
};

// Decimal fields are 32-bit; the two 64-bit fields take them sign-extended.
SignatureDraft draftFromEditorFields(const SignatureEditorFields& fields);

struct AppendResult {
  bool ok = false;
  std::size_t recordNumber = 0;  // of the record appended
  std::string message;           // "everything initialized well....." or why nothing was written
  bool fileProblem = false;      // the file was at fault, not the definition
};

// The editor's Save: appends one record to path (creating the file when it is absent).
// Refuses a file that is not a signature file or already holds 256 records, since another
// record would make it unreadable.
AppendResult appendSignatureRecord(const std::string& path, const SignatureDraft& draft);

}  // namespace quarnel
