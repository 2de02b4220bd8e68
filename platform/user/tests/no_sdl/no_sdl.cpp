// A library under libSDL2's file name that has none of its functions: with it first on
// the library path, the presenter finds the library but cannot use it.
extern "C" {
int KvNoSdlStandIn = 1;
}
