// Entry-point slots of the directory unit, shared by its source files. The
// first 27 are bound at construction in the binding table's order; the rest
// are looked up by the operation that first needs them.
#pragma once

#include "netware/nwlibrary.h"
#include "netware/nwnds.h"

namespace nwds {
#define NWDS_SLOT(name) extern nwlib::Entry<PFN_##name> name;
// Binding table.
NWDS_SLOT(NWLlocaleconv)
NWDS_SLOT(NWInitUnicodeTables)
NWDS_SLOT(NWDSCreateContext)
NWDS_SLOT(NWDSFreeContext)
NWDS_SLOT(NWDSSetContext)
NWDS_SLOT(NWDSAllocBuf)
NWDS_SLOT(NWDSInitBuf)
NWDS_SLOT(NWDSFreeBuf)
NWDS_SLOT(NWDSDuplicateContext)
NWDS_SLOT(NWDSPutAttrName)
NWDS_SLOT(NWDSPutAttrVal)
NWDS_SLOT(NWDSGetAttrName)
NWDS_SLOT(NWDSGetAttrVal)
NWDS_SLOT(NWDSGetAttrCount)
NWDS_SLOT(NWDSPutChange)
NWDS_SLOT(NWDSModifyObject)
NWDS_SLOT(NWDSComputeAttrValSize)
NWDS_SLOT(NWDSRead)
NWDS_SLOT(NWDSRemoveObject)
NWDS_SLOT(NWDSGenerateObjectKeyPair)
NWDS_SLOT(NWDSGetObjectName)
NWDS_SLOT(NWDSGetObjectCount)
NWDS_SLOT(NWDSAddObject)
NWDS_SLOT(NWDSList)
NWDS_SLOT(NWFreeUnicodeTables)
NWDS_SLOT(NWDSGetContext)
NWDS_SLOT(NWDSOpenStream)
// Looked up on every call, never kept.
NWDS_SLOT(NWDSDuplicateContextHandle)
#undef NWDS_SLOT

// The binding table in its fixed order.
constexpr int kBindingTableSize = 27;
extern nwlib::EntryBase *const kBindingTable[kBindingTableSize];
}  // namespace nwds

// Records a code in DSLastResult (and DSLastError when it is a failure);
// true on success.
bool DSRecord(int32_t code);
