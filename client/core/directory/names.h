// Directory names: parsing and formatting dotted names, typed
// ("CN=JSMITH.OU=SALES.O=ACME") and typeless ("JSMITH.SALES.ACME").
//
// Rules, as the NetWare client applies them:
// - Parts are separated by dots; a dot, equals sign, plus sign or backslash
//   inside a part is written with a backslash before it ("A\.B").
// - A name without a leading dot is relative: the name context is appended.
//   A name context of "[Root]" makes every relative name absolute.
// - A leading dot makes the name absolute (the context is ignored).
// - Each trailing dot drops one part from the front of the context before it
//   is appended: "JSMITH.SALES." in context OU=ENG.O=ACME is
//   CN=JSMITH.OU=SALES.O=ACME. A name of dots only names an ancestor of the
//   context. A leading dot together with trailing dots is not a name, nor
//   are more trailing dots than the context has parts.
// - An empty name stands for the context itself; "[Root]" for the tree root.
//   A part whose value reads "[Root]" is written "\[Root]", so that it never
//   reads back as the root.
// - Control characters (NUL to US, and DEL) are in no name.
// - Naming types (C, O, OU, L, S, CN, SA) are case-insensitive and come out
//   upper-cased; values keep their case and compare without regard to case.
// - Parts without a type take the type of the existing object of that name
//   in the tree when the caller can tell (a TypeOracle); otherwise the
//   leftmost part is CN, the topmost O and those between OU.
// - A name is at most 255 characters (ERR_DN_TOO_LONG), a part's value at
//   most 64 (ERR_RDN_TOO_LONG).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/nwtext.h"

namespace nwc {

inline constexpr std::size_t kMaxDnChars = 255;
inline constexpr std::size_t kMaxRdnChars = 64;
inline constexpr const char kRootName[] = "[Root]";

// One part of a name: naming type (upper case; empty when the text gave none)
// and its value, unescaped.
struct Rdn {
  std::string type;
  std::string value;
};

// A name made absolute: its parts leaf first. No parts: the tree root.
struct DName {
  std::vector<Rdn> parts;

  bool IsRoot() const { return parts.empty(); }
  std::size_t Depth() const { return parts.size(); }
  // The container of this name; the root's parent is the root.
  DName Parent() const;
  // This name with `rdn` added below it.
  DName Child(Rdn rdn) const;
};

// A name as written, before the context is applied.
struct ParsedName {
  std::vector<Rdn> parts;  // leaf first
  bool absolute = false;   // leading dot or "[Root]"
  int trailingDots = 0;
};

// Tells the naming type of the existing object called `value` directly below
// `parent`; empty when there is none.
using TypeOracle = std::function<std::string(const DName& parent, const std::string& value)>;

// ASCII case helpers (only a-z / A-Z fold, as NetWare does).
using nwtext::EqualNoCase;
using nwtext::UpperAscii;

// Whether `type` is a naming type the directory knows (any case).
bool IsNamingType(std::string_view type);

// Whether the text holds a control character (NUL to US, or DEL), which no
// name may hold.
bool HasControlCharacter(std::string_view text);

// The text for a message: control characters written as \xNN, so that a
// message stays one line and shows what was there.
std::string Printable(std::string_view text);

// Splits a written name into parts. 0 or ERR_DN_TOO_LONG, ERR_RDN_TOO_LONG,
// ERR_INVALID_DS_NAME (also for a control character).
int ParseName(std::string_view text, ParsedName* out);

// Applies the name context: relative names get the context (less one part per
// trailing dot) appended. 0 or ERR_INVALID_DS_NAME.
int ApplyContext(const ParsedName& name, const DName& context, DName* out);

// Gives every untyped part a type: from the oracle, top-down, where it knows
// the object; otherwise by the default rule.
void InferTypes(DName* name, const TypeOracle& oracle);

// Parse + ApplyContext + InferTypes, and the length check of the result's
// typed form. The oracle may be empty.
int CanonicalizeName(std::string_view text, const DName& context, const TypeOracle& oracle,
                     DName* out);

// "CN=A.OU=B.O=C" or "A.B.C"; "[Root]" for the root.
std::string FormatName(const DName& name, bool typeless);

// The shortest form of `name` that gives `name` again relative to `context`:
// the context's parts dropped, trailing dots to climb above it. The full name
// when the context is the root.
std::string FormatRelative(const DName& name, const DName& context, bool typeless);

// Case-insensitive equality of two absolute names (types compared too).
bool SameName(const DName& a, const DName& b);

// Whether `name` is `container` or lies below it.
bool IsWithin(const DName& name, const DName& container);

// A part's value with dots, equals and plus signs and backslashes escaped,
// and a value reading "[Root]" written "\[Root]".
std::string EscapeValue(std::string_view value);

}  // namespace nwc
