// CALWIN32: exports the client's CALWIN32 entry points under their exact names.
#include "entries.h"

NWC_CALWIN32_ENTRIES(NWC_FORWARD)
