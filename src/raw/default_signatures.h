// The definitions shipped as "FileSetting.txt" beside the program: well-known formats with
// sizes that suit most files of their kind. The file is written by the same writer and read
// by the same reader as any the user makes.
#pragma once

#include <string>
#include <vector>

#include "raw/signature_record.h"

namespace quarnel {

inline constexpr const char* kDefaultSignatureFileName = "FileSetting.txt";

std::vector<SignatureDraft> defaultSignatureDrafts();
std::vector<SignatureRecord> defaultSignatureRecords();

// Writes the shipped definitions to path. Returns why not, or empty.
std::string writeDefaultSignatureFile(const std::string& path);

}  // namespace quarnel
