/* A stand-in for the cipher library: which copy was loaded shows in its answer. */
int probe_value(void) { return PROBE_VALUE; }
