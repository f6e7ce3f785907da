// The quarnel command line: argument parsing plus one library call per command.
#pragma once

namespace CLI {
class App;
}

namespace quarnel::cli {

// Each command file adds its subcommands to the app; status receives the exit status.
void registerCarveCommands(CLI::App& app, int& status);
void registerBrowseCommands(CLI::App& app, int& status);

// Exit status: 0 success, 1 the work could not be done, 2 bad usage.
int run(int argc, char** argv);

}  // namespace quarnel::cli
