#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace quarnel::cli {

void registerCarveCommands(CLI::App&, int&) {}

}  // namespace quarnel::cli
