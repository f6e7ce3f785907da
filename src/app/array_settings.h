// The array a technician describes: members in order, level, stripe, layout and offsets, as
// plain values the window and the command line fill alike, and the virtual disk they give.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/file_read_seek_raid.h"

namespace quarnel::app {

struct ArraySettings {
  std::vector<std::string> members;  // paths, or "missing"
  int level = 0;
  std::int64_t stripe = 128;
  std::string layout = "left-symmetric";
  std::string offsets;  // comma-separated sectors; empty: probed
};

// Parses "1|right-asymmetric" ... "4|right-symmetric"; 0 when unknown.
std::int32_t parseLayout(const std::string& text);
std::string layoutName(std::int32_t layout);

// Configures raid from the settings (probing member offsets when none are given) without
// opening it. False with a reason on bad values.
bool configureArray(const ArraySettings& settings, FileReadSeekRaid& raid, std::string& error);

}  // namespace quarnel::app
