// The ARRAY options every command takes, and the virtual disk they describe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "storage/file_read_seek_raid.h"

namespace quarnel::cli {

struct ArrayOptions {
  std::vector<std::string> members;
  int level = 0;
  std::int64_t stripe = 128;
  std::string layout = "left-symmetric";
  std::string offsets;
};

void addArrayOptions(CLI::App& command, ArrayOptions& options);

// Parses "1|right-asymmetric" ... "4|right-symmetric"; 0 when unknown.
std::int32_t parseLayout(const std::string& text);
std::string layoutName(std::int32_t layout);

// Configures raid from the options (probing member offsets when none are given) without
// opening it. False with a reason on bad values.
bool configureArray(const ArrayOptions& options, FileReadSeekRaid& raid, std::string& error);

}  // namespace quarnel::cli
