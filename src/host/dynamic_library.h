#pragma once

namespace tavorline {

// A shared library loaded at run time. The shell decides where it is looked
// for; the engine only names the exports it wants.
class DynamicLibrary {
public:
    virtual ~DynamicLibrary() = default;
    virtual bool load() = 0;
    virtual void* resolve(const char* symbol) = 0;  // nullptr when missing
    virtual void unload() = 0;
};

}  // namespace tavorline
