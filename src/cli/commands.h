// The quarnel command line: argument parsing plus one library call per command.
#pragma once

namespace quarnel::cli {

// Exit status: 0 success, 1 the work could not be done, 2 bad usage.
int run(int argc, char** argv);

}  // namespace quarnel::cli
