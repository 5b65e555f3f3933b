#pragma once

namespace tavorline {

// A repeating timer owned by the shell; its tick calls the engine handler it
// was bound to. Enabling an enabled timer does not restart it; disabling and
// enabling again starts a fresh interval.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool enabled() const = 0;
};

}  // namespace tavorline
