// LOCWIN32: exports the client's LOCWIN32 entry points under their exact names.
#include "entries.h"

NWC_LOCWIN32_ENTRIES(NWC_FORWARD)
