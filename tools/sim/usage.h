#pragma once

#include <string>

namespace tavorline::sim {

// Names the program in usage errors: "host-sim", "terminal-sim".
void setProgramName(const char* name);

// Says what is wrong with the command line and exits with kExitUsage.
[[noreturn]] void usage(const std::string& why);

// A whole decimal number from lowest to highest, or a usage error naming the
// option.
int numberIn(const char* text, const char* option, int lowest, int highest);

}  // namespace tavorline::sim
