// The ARRAY options every command takes, bound to the array settings the session reads.
#pragma once

#include <CLI/CLI.hpp>

#include "app/array_settings.h"

namespace quarnel::cli {

using ArrayOptions = app::ArraySettings;
using app::configureArray;
using app::layoutName;
using app::parseLayout;

void addArrayOptions(CLI::App& command, ArrayOptions& options);

}  // namespace quarnel::cli
