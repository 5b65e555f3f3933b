#pragma once

#include "support/bytes.h"

namespace tavorline {

// A shared library loaded at run time. The shell decides where it is looked
// for; the engine only names the exports it wants.
class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    virtual bool load() = 0;
    virtual void* resolve(const char* symbol) = 0;  // nullptr when missing
    virtual void unload() = 0;
    // The file that loaded, as the shell found it (CP949); empty while
    // nothing is loaded. The shop's staff read it in the log when a copy
    // they did not expect answers.
    virtual Bytes loadedFrom() const = 0;
};

}  // namespace tavorline
