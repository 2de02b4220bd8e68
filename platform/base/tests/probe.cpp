// A module for the LoadLibrary tests; each copy tells which folder it was built for.
extern "C" __attribute__((visibility("default"))) const char* ProbeWhere() { return KV_PROBE_WHERE; }
