#include "sim/usage.h"

#include <cstdio>
#include <cstdlib>

#include "sim/errors.h"

namespace tavorline::sim {
namespace {

const char* programName = "sim";

}  // namespace

void setProgramName(const char* name) { programName = name; }

void usage(const std::string& why) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", programName, why.c_str(), programName);
    std::exit(kExitUsage);
}

int numberIn(const char* text, const char* option, int lowest, int highest) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < lowest || value > highest) {
        usage(std::string(option) + " wants a number from " + std::to_string(lowest) + " to " +
              std::to_string(highest));
    }
    return static_cast<int>(value);
}

}  // namespace tavorline::sim
