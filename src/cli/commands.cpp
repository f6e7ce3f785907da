#include "cli/commands.h"

namespace quarnel::cli {
int run(int, char**) { return 0; }
}  // namespace quarnel::cli
