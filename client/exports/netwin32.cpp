// NETWIN32: exports the client's NETWIN32 entry points under their exact names.
#include "entries.h"

NWC_NETWIN32_ENTRIES(NWC_FORWARD)
