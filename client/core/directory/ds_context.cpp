// Directory contexts, the workstation's locale and the Unicode tables.
#include "ds_context.h"

#include <cstring>
#include <map>
#include <mutex>

#include "directory.h"
#include "entries.h"
#include "locale_info.h"
#include "network.h"

namespace nwc {

namespace {

struct Contexts {
  std::mutex mutex;
  std::map<NWDSContextHandle, ContextState> table;
  NWDSContextHandle next = 1;
  int unicodeLoads = 0;
  nint unicodeCountry = 0;
  nint unicodeCodePage = 0;
};

Contexts& Ctx() {
  static Contexts c;
  return c;
}

// Handles only grow, so a freed handle is never answered for again.
NWDSContextHandle NewContext(const ContextState& state) {
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  if (c.next <= 0) return ERR_CONTEXT_CREATION;
  NWDSContextHandle h = c.next++;
  c.table.emplace(h, state);
  return h;
}

ContextState DefaultState() {
  ContextState state;
  auto lock = NetworkLock();
  if (Network* net = CurrentNetwork()) state.nameContext = net->workstation.nameContext;
  return state;
}

template <std::size_t N>
void Put(char (&field)[N], const char* text) {
  std::size_t len = std::strlen(text);
  if (len >= N) len = N - 1;
  std::memcpy(field, text, len);
  field[len] = '\0';
}

void Locale(std::int32_t* country, std::int32_t* codePage) {
  *country = 1;
  *codePage = 437;
  auto lock = NetworkLock();
  if (Network* net = CurrentNetwork()) {
    *country = net->workstation.countryId;
    *codePage = net->workstation.codePage;
  }
}

int SetNameContext(ContextState* state, const char* value) {
  const std::size_t len = strnlen(value, NW_MAX_CONTEXT_NAME);
  if (len >= NW_MAX_CONTEXT_NAME) return ERR_DN_TOO_LONG;
  std::string_view text(value, len);
  if (text.empty() || EqualNoCase(text, kRootName)) {
    state->nameContext = DName{};
    return 0;
  }
  // A name context is always a complete name.
  ParsedName parsed;
  if (int rc = ParseName(text, &parsed); rc != 0) return rc;
  if (parsed.trailingDots != 0) return ERR_INVALID_DS_NAME;
  parsed.absolute = true;
  auto lock = NetworkLock();
  DirectoryStore* store = CurrentDirectoryStore();
  if (store == nullptr) return ERR_NO_CONNECTION;
  DName name;
  if (int rc = ApplyContext(parsed, DName{}, &name); rc != 0) return rc;
  InferTypes(&name, store->Oracle());
  EntryInfo info;
  if (int rc = store->Resolve(name, false, &info); rc != 0) return rc;
  if (FormatName(info.name, false).size() >= NW_MAX_CONTEXT_NAME) return ERR_DN_TOO_LONG;
  state->nameContext = info.name;
  return 0;
}

}  // namespace

namespace {
thread_local nuint32 callFlags = DCV_DEFAULT_FLAGS;
}  // namespace

bool GetContextState(NWDSContextHandle handle, ContextState* out) {
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  auto it = c.table.find(handle);
  if (it == c.table.end()) return false;
  if (out) {
    *out = it->second;
    callFlags = it->second.flags;
  }
  return true;
}

nuint32 CallContextFlags() { return callFlags; }

int ContextName(const ContextState& context, std::string_view text, DName* out) {
  auto lock = NetworkLock();
  DirectoryStore* store = CurrentDirectoryStore();
  return CanonicalizeName(text, context.nameContext, store ? store->Oracle() : TypeOracle{}, out);
}

std::string ContextFormat(const ContextState& context, const DName& name) {
  if ((context.flags & DCV_CANONICALIZE_NAMES) != 0) {
    return FormatRelative(name, context.nameContext, context.Typeless());
  }
  return FormatName(name, context.Typeless());
}

bool UnicodeTablesLoaded() {
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  return c.unicodeLoads > 0;
}

}  // namespace nwc

using namespace nwc;

// ---- NETWIN32: contexts -----------------------------------------------------

extern "C" NWEXPORT NWDSContextHandle NWAPI nwcore_NWDSCreateContext(void) { return NewContext(DefaultState()); }

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSFreeContext(NWDSContextHandle context) {
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  return c.table.erase(context) == 1 ? 0 : ERR_BAD_CONTEXT;
}

extern "C" NWEXPORT NWDSContextHandle NWAPI nwcore_NWDSDuplicateContext(NWDSContextHandle oldContext) {
  ContextState state;
  if (!GetContextState(oldContext, &state)) return ERR_BAD_CONTEXT;
  return NewContext(state);
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSDuplicateContextHandle(NWDSContextHandle srcContext,
                                                                   NWDSContextHandle* destContext) {
  if (destContext == nullptr) return ERR_NULL_POINTER;
  ContextState state;
  if (!GetContextState(srcContext, &state)) return ERR_BAD_CONTEXT;
  NWDSContextHandle h = NewContext(state);
  if (h <= 0) return ERR_CONTEXT_CREATION;
  *destContext = h;
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSGetContext(NWDSContextHandle context, nint key, nptr value) {
  ContextState state;
  if (!GetContextState(context, &state)) return ERR_BAD_CONTEXT;
  if (value == nullptr) return ERR_NULL_POINTER;
  nuint32 number = 0;
  switch (key) {
    case DCK_FLAGS: number = state.flags; break;
    case DCK_CONFIDENCE: number = state.confidence; break;
    case DCK_TRANSPORT_TYPE: number = state.transportType; break;
    case DCK_REFERRAL_SCOPE: number = state.referralScope; break;
    case DCK_NAME_CONTEXT: {
      // Set names fit the caller's 128 bytes; the typeless form is shorter.
      const std::string text = FormatName(state.nameContext, state.Typeless());
      if (text.size() >= NW_MAX_CONTEXT_NAME) return ERR_DN_TOO_LONG;
      std::memcpy(value, text.c_str(), text.size() + 1);
      return 0;
    }
    default: return ERR_BAD_KEY;
  }
  std::memcpy(value, &number, sizeof number);
  return 0;
}

extern "C" NWEXPORT NWDSCCODE NWAPI nwcore_NWDSSetContext(NWDSContextHandle context, nint key, nptr value) {
  ContextState state;
  if (!GetContextState(context, &state)) return ERR_BAD_CONTEXT;
  if (value == nullptr) return ERR_NULL_POINTER;
  nuint32 number = 0;
  switch (key) {
    case DCK_FLAGS:
    case DCK_CONFIDENCE:
    case DCK_TRANSPORT_TYPE:
    case DCK_REFERRAL_SCOPE:
      std::memcpy(&number, value, sizeof number);
      break;
    case DCK_NAME_CONTEXT:
      if (int rc = SetNameContext(&state, static_cast<const char*>(value)); rc != 0) return rc;
      break;
    default:
      return ERR_BAD_KEY;
  }
  if (key == DCK_FLAGS) state.flags = number;
  if (key == DCK_CONFIDENCE) state.confidence = number;
  if (key == DCK_TRANSPORT_TYPE) state.transportType = number;
  if (key == DCK_REFERRAL_SCOPE) state.referralScope = number;
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  auto it = c.table.find(context);
  if (it == c.table.end()) return ERR_BAD_CONTEXT;  // freed meanwhile
  it->second = state;
  return 0;
}

// ---- LOCWIN32: locale and Unicode tables -------------------------------------

extern "C" NWEXPORT LCONV* NWAPI nwcore_NWLlocaleconv(LCONV* lconvPtr) {
  if (lconvPtr == nullptr) return nullptr;
  std::int32_t country = 1;
  std::int32_t codePage = 437;
  Locale(&country, &codePage);
  const LocaleInfo* info = FindLocale(country);
  if (info == nullptr) info = FindLocale(1);
  LCONV l;
  std::memset(&l, 0, sizeof l);
  Put(l.decimal_point, info->decimalPoint);
  Put(l.thousands_sep, info->thousandsSep);
  Put(l.grouping, "\3");
  Put(l.currency_symbol, info->currencySymbol);
  Put(l.mon_decimal_point, info->decimalPoint);
  Put(l.mon_thousands_sep, info->thousandsSep);
  Put(l.mon_grouping, "\3");
  Put(l.positive_sign, "");
  Put(l.negative_sign, "-");
  Put(l.int_curr_symbol, info->intCurrencySymbol);
  l.int_frac_digits = 2;
  l.frac_digits = 2;
  l.p_cs_precedes = info->currencyPrecedes;
  l.p_sep_by_space = info->currencySpace;
  l.n_cs_precedes = info->currencyPrecedes;
  l.n_sep_by_space = info->currencySpace;
  l.p_sign_posn = 1;
  l.n_sign_posn = 1;
  l.date_format = info->dateFormat;
  l.time_format = info->timeFormat;
  l.code_page = codePage;
  l.country_id = country;
  Put(l.data_list_separator, info->listSeparator);
  Put(l.date_separator, info->dateSeparator);
  Put(l.time_separator, info->timeSeparator);
  Put(l.am_text, info->am);
  Put(l.pm_text, info->pm);
  std::memcpy(lconvPtr, &l, sizeof l);
  return lconvPtr;
}

extern "C" NWEXPORT nint NWAPI nwcore_NWInitUnicodeTables(nint countryCode, nint codePage) {
  std::int32_t country = 1;
  std::int32_t page = 437;
  Locale(&country, &page);
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  if (c.unicodeLoads > 0) {
    if (countryCode != c.unicodeCountry || codePage != c.unicodeCodePage) return UNI_ALREADY_LOADED;
    ++c.unicodeLoads;
    return 0;
  }
  // The workstation has rule tables for its own country and code page only.
  if (countryCode != country || codePage != page) return UNI_NO_SUCH_FILE;
  c.unicodeLoads = 1;
  c.unicodeCountry = countryCode;
  c.unicodeCodePage = codePage;
  return 0;
}

extern "C" NWEXPORT nint NWAPI nwcore_NWFreeUnicodeTables(void) {
  Contexts& c = Ctx();
  std::lock_guard lock(c.mutex);
  if (c.unicodeLoads > 0) --c.unicodeLoads;
  return 0;
}
