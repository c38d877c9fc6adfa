// Entry points answer "not supported" until the core implements them. The
// definitions are weak: a real implementation anywhere in the core replaces
// its default at link time.
#include <type_traits>

#include "entries.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"

namespace {
template <typename R>
R Unsupported(bool directory) {
  if constexpr (std::is_pointer_v<R>) {
    return nullptr;
  } else {
    return static_cast<R>(directory ? ERR_INVALID_REQUEST : NWE_REQUESTER_FAILURE);
  }
}
}  // namespace

#define NWC_WEAK_DS(ret, name, params, args) \
  extern "C" __attribute__((weak)) ret NWAPI nwcore_##name params { return Unsupported<ret>(true); }
#define NWC_WEAK_CALLS(ret, name, params, args) \
  extern "C" __attribute__((weak)) ret NWAPI nwcore_##name params { return Unsupported<ret>(false); }

NWC_LOCWIN32_ENTRIES(NWC_WEAK_DS)
NWC_NETWIN32_ENTRIES(NWC_WEAK_DS)
NWC_CALWIN32_ENTRIES(NWC_WEAK_CALLS)
NWC_CLXWIN32_ENTRIES(NWC_WEAK_CALLS)
