// Fuzz target: names. Input: a name context, a line break, a name. Every
// form the client writes of a name (typed, typeless, relative to the
// context, as a distinguished name) reads back as the same name, part for
// part; none of them reads as [Root] unless the name is the root.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ldap_names.h"
#include "names.h"

namespace {

// Part for part, values byte for byte.
bool Same(const nwc::DName& a, const nwc::DName& b) {
  if (a.parts.size() != b.parts.size()) return false;
  for (std::size_t i = 0; i < a.parts.size(); ++i) {
    if (a.parts[i].type != b.parts[i].type || a.parts[i].value != b.parts[i].value) return false;
  }
  return true;
}

// The types a tree holding `name` would tell.
nwc::TypeOracle OracleOf(const nwc::DName& name) {
  return [name](const nwc::DName& parent, const std::string& value) -> std::string {
    if (parent.parts.size() >= name.parts.size()) return {};
    const std::size_t i = name.parts.size() - parent.parts.size() - 1;
    nwc::DName above;
    above.parts.assign(name.parts.begin() + static_cast<std::ptrdiff_t>(i) + 1, name.parts.end());
    if (!nwc::EqualNoCase(name.parts[i].value, value) || !nwc::SameName(parent, above)) return {};
    return name.parts[i].type;
  };
}

// `text` read under `context` gives `name` again: part for part, or (for a
// relative form, whose upper parts are the context's) the same object, as
// values compare without regard to case. Texts longer than a name area are
// never handed out, so they need not.
void ReadsBack(const std::string& text, const nwc::DName& context, const nwc::TypeOracle& oracle, const nwc::DName& name) {
  if (text.size() > nwc::kMaxDnChars) return;
  if (!name.IsRoot() && nwc::EqualNoCase(text, nwc::kRootName)) std::abort();
  nwc::DName back;
  if (nwc::CanonicalizeName(text, context, oracle, &back) != 0) std::abort();
  if (context.IsRoot() ? !Same(back, name) : !nwc::SameName(back, name)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\n');
  nwc::DName context;
  std::string_view text = input;
  if (cut != std::string_view::npos) {
    if (nwc::CanonicalizeName(input.substr(0, cut), nwc::DName{}, {}, &context) != 0) context = {};
    text = input.substr(cut + 1);
  }
  nwc::DName name;
  if (nwc::CanonicalizeName(text, context, {}, &name) != 0) return 0;
  const nwc::TypeOracle oracle = OracleOf(name);
  ReadsBack(nwc::FormatName(name, false), {}, {}, name);
  ReadsBack(nwc::FormatName(name, true), {}, oracle, name);
  ReadsBack(nwc::FormatRelative(name, context, false), context, {}, name);
  ReadsBack(nwc::FormatRelative(name, context, true), context, oracle, name);
  // As a distinguished name and back.
  std::string dn;
  if (!nwc::ldap::NameToDn(name, &dn)) std::abort();
  nwc::DName fromDn;
  const bool read = nwc::ldap::DnToName(dn, &fromDn);
  if (read && !Same(fromDn, name)) std::abort();
  // Printable ASCII always makes a distinguished name.
  bool printable = true;
  for (const nwc::Rdn& part : name.parts) {
    for (char c : part.value) printable = printable && c >= 0x20 && c < 0x7F;
  }
  if (printable && !read) std::abort();
  return 0;
}
