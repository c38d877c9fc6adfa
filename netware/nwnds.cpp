// Directory client binding, the module-wide state and the current context.
#include "netware/nwnds.h"

#include <unistd.h>

#include "netware/nwnds_entries.h"
#include "util/nwtools.h"

nwlib::LibHandle DirLibrary = nullptr;
nwlib::LibHandle LocaleLibrary = nullptr;
NWDSContextHandle DSContext = 0;
int32_t DSLastResult = 0;
int32_t DSLastError = 0;

namespace nwds {
#define NWDS_DEFINE(name, lib) nwlib::Entry<PFN_##name> name{#name, lib};
NWDS_DEFINE(NWLlocaleconv, LocaleLibrary)
NWDS_DEFINE(NWInitUnicodeTables, LocaleLibrary)
NWDS_DEFINE(NWDSCreateContext, DirLibrary)
NWDS_DEFINE(NWDSFreeContext, DirLibrary)
NWDS_DEFINE(NWDSSetContext, DirLibrary)
NWDS_DEFINE(NWDSAllocBuf, DirLibrary)
NWDS_DEFINE(NWDSInitBuf, DirLibrary)
NWDS_DEFINE(NWDSFreeBuf, DirLibrary)
NWDS_DEFINE(NWDSDuplicateContext, DirLibrary)
NWDS_DEFINE(NWDSPutAttrName, DirLibrary)
NWDS_DEFINE(NWDSPutAttrVal, DirLibrary)
NWDS_DEFINE(NWDSGetAttrName, DirLibrary)
NWDS_DEFINE(NWDSGetAttrVal, DirLibrary)
NWDS_DEFINE(NWDSGetAttrCount, DirLibrary)
NWDS_DEFINE(NWDSPutChange, DirLibrary)
NWDS_DEFINE(NWDSModifyObject, DirLibrary)
NWDS_DEFINE(NWDSComputeAttrValSize, DirLibrary)
NWDS_DEFINE(NWDSRead, DirLibrary)
NWDS_DEFINE(NWDSRemoveObject, DirLibrary)
NWDS_DEFINE(NWDSGenerateObjectKeyPair, DirLibrary)
NWDS_DEFINE(NWDSGetObjectName, DirLibrary)
NWDS_DEFINE(NWDSGetObjectCount, DirLibrary)
NWDS_DEFINE(NWDSAddObject, DirLibrary)
NWDS_DEFINE(NWDSList, DirLibrary)
NWDS_DEFINE(NWFreeUnicodeTables, LocaleLibrary)
NWDS_DEFINE(NWDSGetContext, DirLibrary)
NWDS_DEFINE(NWDSOpenStream, DirLibrary)
NWDS_DEFINE(NWDSDuplicateContextHandle, DirLibrary)
#undef NWDS_DEFINE

nwlib::EntryBase *const kBindingTable[kBindingTableSize] = {
    &NWLlocaleconv,          &NWInitUnicodeTables,       &NWDSCreateContext, &NWDSFreeContext,
    &NWDSSetContext,         &NWDSAllocBuf,              &NWDSInitBuf,       &NWDSFreeBuf,
    &NWDSDuplicateContext,   &NWDSPutAttrName,           &NWDSPutAttrVal,    &NWDSGetAttrName,
    &NWDSGetAttrVal,         &NWDSGetAttrCount,          &NWDSPutChange,     &NWDSModifyObject,
    &NWDSComputeAttrValSize, &NWDSRead,                  &NWDSRemoveObject,  &NWDSGenerateObjectKeyPair,
    &NWDSGetObjectName,      &NWDSGetObjectCount,        &NWDSAddObject,     &NWDSList,
    &NWFreeUnicodeTables,    &NWDSGetContext,            &NWDSOpenStream,
};
}  // namespace nwds

using namespace nwds;

bool DSRecord(int32_t code) { return nwlib::Status{DSLastResult, DSLastError}.Record(code); }

namespace {
constexpr int32_t kLibraryMissing = 65535;

// Trims a context name and places it in the 128-byte area the client takes.
// A name that does not fit is refused rather than cut.
bool ContextNameArea(const std::string &name, char (&area)[NW_MAX_CONTEXT_NAME]) {
  return nwlib::CopyToArea(TrimBoth(name), area);
}
}  // namespace

TNWNDS::TNWNDS() {
  DSLastError = 0;
  DSContext = 0;
  try {
    DirLibrary = nwlib::LoadLibraryByName("NETWIN32.DLL");
    if (DirLibrary == nullptr) {
      DSLastError = kLibraryMissing;
      return;
    }
    LocaleLibrary = nwlib::LoadLibraryByName("LOCWIN32.DLL");
    if (LocaleLibrary == nullptr) {
      DSLastError = kLibraryMissing;
      return;
    }
    for (nwlib::EntryBase *entry : kBindingTable) {
      if (!entry->Bind()) return;  // binding stops silently at the first missing entry
    }
    DSContext = nwds::NWDSCreateContext();
    SetContextName("[Root]");
  } catch (...) {
    DirLibrary = nullptr;
    LocaleLibrary = nullptr;
  }
}

TNWNDS::~TNWNDS() {
  if (DSContext != 0) ReleaseContext(DSContext);
}

std::string TNWNDS::LastErrorText() const { return HexCode(DSLastError); }

bool InitDirectoryClient() {
  if (DirLibrary == nullptr || LocaleLibrary == nullptr) return false;
  if (DSContext == 0 && NWDSCreateContext.Bound()) DSContext = NWDSCreateContext();
  if (!NWLlocaleconv.Bound() || !NWInitUnicodeTables.Bound()) return false;
  LCONV locale{};
  NWLlocaleconv(&locale);
  const nint code = NWInitUnicodeTables(locale.country_id, locale.code_page);
  return code == 0 && DSContext != 0;
}

bool DoneDirectoryClient() {
  if (!NWFreeUnicodeTables.Bound()) return false;
  return DSRecord(NWFreeUnicodeTables());
}

std::string CurrentContextName() {
  if (!NWDSGetContext.Bound()) return {};
  char area[NW_MAX_CONTEXT_NAME] = {};
  if (!DSRecord(NWDSGetContext(DSContext, DCK_NAME_CONTEXT, area))) return {};
  return nwlib::TextOfArea(area);
}

bool SetContextName(const std::string &name) {
  if (!NWDSSetContext.Bound()) return false;
  char area[NW_MAX_CONTEXT_NAME];
  if (!ContextNameArea(name, area)) return false;
  return DSRecord(NWDSSetContext(DSContext, DCK_NAME_CONTEXT, area));
}

bool SelectContext(NWDSContextHandle &context, const std::string &name) {
  if (!NWDSSetContext.Bound()) return false;
  char area[NW_MAX_CONTEXT_NAME];
  if (!ContextNameArea(name, area)) return false;
  if (!DSRecord(NWDSSetContext(context, DCK_NAME_CONTEXT, area))) return false;
  ReleaseContext(DSContext);
  DSContext = 0;
  if (auto duplicateHandle = NWDSDuplicateContextHandle.Lookup()) {
    duplicateHandle(context, &DSContext);
  } else if (NWDSDuplicateContext.Bound()) {
    DSContext = NWDSDuplicateContext(context);
  }
  return DSContext != 0;
}

NWDSContextHandle CopyCurrentContext() {
  if (DSContext > 0) {
    return NWDSDuplicateContext.Bound() ? NWDSDuplicateContext(DSContext) : 0;
  }
  return NWDSCreateContext.Bound() ? NWDSCreateContext() : 0;
}

bool ReleaseContext(NWDSContextHandle context) {
  if (!NWDSFreeContext.Bound()) return false;
  return NWDSFreeContext(context) == 0;
}

void ResetContext() {
  ReleaseContext(DSContext);
  DSContext = NWDSCreateContext.Bound() ? NWDSCreateContext() : 0;
  SetContextName("[Root]");
}

bool AddContextFlags(uint32_t flags) {
  if (!NWDSGetContext.Bound() || !NWDSSetContext.Bound()) return false;
  // Never combine an unread value into the flags: a failed read stops here.
  nuint32 current = 0;
  if (NWDSGetContext(DSContext, DCK_FLAGS, &current) != 0) return false;
  nuint32 combined = flags | current;
  return DSRecord(NWDSSetContext(DSContext, DCK_FLAGS, &combined));
}

bool SetContextFlags(uint32_t flags) {
  if (!NWDSSetContext.Bound()) return false;
  nuint32 value = flags;
  return DSRecord(NWDSSetContext(DSContext, DCK_FLAGS, &value));
}

bool ContextFlagsAvailable() { return NWDSGetContext.Bound() && NWDSSetContext.Bound(); }

uint32_t GetContextFlags() {
  if (!NWDSGetContext.Bound()) return 0;
  nuint32 flags = 0;
  if (!DSRecord(NWDSGetContext(DSContext, DCK_FLAGS, &flags))) return 0;
  return flags;
}

std::string THandleStream::ReadAll() {
  std::string content;
  char chunk[4096];
  for (;;) {
    ssize_t got = ::read(handle_, chunk, sizeof chunk);
    if (got <= 0) break;
    content.append(chunk, static_cast<std::size_t>(got));
  }
  return content;
}
