// TNWBase: the error record, the exception, the context flags and the two
// client modes.
#include "base/nwbase.h"

#include "netware/nwnds.h"
#include "netware/tessel.h"

void TNWLastError::Assign(const TNWLastError &source) {
  tessel_ = source.tessel_;
  server_ = source.server_;
  prop_ = source.prop_;
  print_ = source.print_;
  nds_ = source.nds_;
}

void TNWDSContextFlags::Assign(const TNWDSContextFlags &source) {
  SetDereferenceAliases(source.dereferenceAliases_);
  SetTranslateStrings(source.translateStrings_);
  SetTypelessNames(source.typelessNames_);
  SetAsyncMode(source.asyncMode_);
  SetCanonicalizeNames(source.canonicalizeNames_);
  SetDereferenceBaseClass(source.dereferenceBaseClass_);
  SetDisallowReferrals(source.disallowReferrals_);
}

uint32_t TNWDSContextFlags::Bits() const {
  uint32_t bits = 0;
  if (dereferenceAliases_) bits |= DCV_DEREF_ALIASES;
  if (translateStrings_) bits |= DCV_XLATE_STRINGS;
  if (typelessNames_) bits |= DCV_TYPELESS_NAMES;
  if (asyncMode_) bits |= DCV_ASYNC_MODE;
  if (canonicalizeNames_) bits |= DCV_CANONICALIZE_NAMES;
  if (dereferenceBaseClass_) bits |= DCV_DEREF_BASE_CLASS;
  if (disallowReferrals_) bits |= DCV_DISALLOW_REFERRALS;
  return bits;
}

// Sets or clears one bit of the current context's flags and writes the whole
// set back. When the current flags cannot be read nothing is written: a guess
// would clear the context's other flags.
void TNWDSContextFlags::Write(bool &field, bool value, uint32_t bit) {
  field = value;
  if (!ContextFlagsAvailable()) return;
  uint32_t flags = GetContextFlags();
  if (DSLastResult != 0) return;
  SetContextFlags(value ? (flags | bit) : (flags & ~bit));
}

void TNWBase::RaiseNWError(const std::string &message) {
  if (designing_ || silentExceptions_) return;
  throw TNWObjError(message);
}

void TNWBase::SetShellErrorMode(TNWShellErrorMode mode) {
  shellErrorMode_ = mode;
  ApplyErrorMode(static_cast<uint8_t>(mode));  // every time; the previous mode is not needed
}

TNWBroadcastMode TNWBase::BroadcastMode() {
  const uint16_t mode = ReadBroadcastMode(ServerHandle());
  // A mode the enumeration does not name reads like a failed query.
  return mode <= nwBroadcastStored ? static_cast<TNWBroadcastMode>(mode) : nwBroadcastOn;
}

void TNWBase::SetBroadcastMode(TNWBroadcastMode mode) {
  WriteBroadcastMode(ServerHandle(), static_cast<uint16_t>(mode));
}
