// Without the carver in the build, carve and signatures are not offered.
#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace quarnel::cli {

void registerCarveCommands(CLI::App&, int&) {}

}  // namespace quarnel::cli
