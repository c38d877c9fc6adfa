// CLXWIN32: exports the client's CLXWIN32 entry points under their exact names.
#include "entries.h"

NWC_CLXWIN32_ENTRIES(NWC_FORWARD)
