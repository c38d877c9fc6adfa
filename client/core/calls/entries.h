// The core's implementation of every client entry point, named nwcore_<entry>.
// The four export libraries forward their entry points here, so that one
// process holds one simulated network however many libraries it loads.
#pragma once
#include "nwclient.h"

#define NWC_DECLARE_CORE(ret, name, params, args) extern "C" NWEXPORT ret NWAPI nwcore_##name params;
NWC_ALL_ENTRIES(NWC_DECLARE_CORE)
#undef NWC_DECLARE_CORE

// Forwarding export: the library's entry point under the client's exact name.
#define NWC_FORWARD(ret, name, params, args) \
  extern "C" NWEXPORT ret NWAPI name params { return nwcore_##name args; }
