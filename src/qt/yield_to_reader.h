#pragma once

#include <sched.h>

namespace tavorline {

// Bytes just written to a pty or a loopback socket wake their reader, and
// the scheduler tends to queue that reader (or the kernel worker that moves
// pty bytes) on this CPU, behind us: it would wait until the event loop goes
// back to sleep, after our logging and bookkeeping. Giving up the CPU right
// after the write lets it run first. Where nobody waits it costs one system
// call; the rest of our work only ever moves to after the peer's.
inline void yieldToReader() { ::sched_yield(); }

}  // namespace tavorline
