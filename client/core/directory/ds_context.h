// Directory contexts of the stand-in client: the state behind a context
// handle, for the directory entry points of every core file.
#pragma once

#include <string>
#include <string_view>

#include "names.h"
#include "nwclient.h"

namespace nwc {

struct ContextState {
  nuint32 flags = DCV_DEFAULT_FLAGS;
  DName nameContext;  // absolute; no parts: [Root]
  nuint32 confidence = 0;
  nuint32 transportType = 0;
  nuint32 referralScope = 0;

  bool Typeless() const { return (flags & DCV_TYPELESS_NAMES) != 0; }
  bool DerefAliases() const { return (flags & DCV_DEREF_ALIASES) != 0; }
};

// A copy of a context's state; false when the handle names no context.
// The flags of the context last read this way on the calling thread are
// kept for the store below the entry point (whether it may follow
// referrals): see CallContextFlags.
bool GetContextState(NWDSContextHandle handle, ContextState* out);

// The flags of the context the current entry point call of this thread
// works under (the defaults before any).
nuint32 CallContextFlags();

// Makes a name given to an entry point absolute, relative to the context's
// name context, typing its parts from the current directory. 0 or an ERR_*
// code of the name's syntax.
int ContextName(const ContextState& context, std::string_view text, DName* out);

// A name as the entry points hand it back under the context's flags:
// abbreviated relative to the name context when names are canonicalized,
// typeless when typeless names are asked for.
std::string ContextFormat(const ContextState& context, const DName& name);

// Whether NWInitUnicodeTables has loaded the tables (and they are not freed).
bool UnicodeTablesLoaded();

}  // namespace nwc
