#include "names.h"

#include <algorithm>
#include <array>

#include "nwclient.h"

namespace nwc {

namespace {

constexpr std::array<std::string_view, 7> kNamingTypes = {"C", "O", "OU", "L", "S", "CN", "SA"};

bool NeedsEscape(char c) { return c == '.' || c == '=' || c == '+' || c == '\\'; }

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Splits one part at its unescaped '=' and unescapes it.
int ParsePart(std::string_view raw, Rdn* out) {
  std::string type;
  std::string value;
  bool typed = false;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\') {
      if (i + 1 >= raw.size()) return ERR_INVALID_DS_NAME;
      value.push_back(raw[++i]);
    } else if (c == '=') {
      if (typed) return ERR_INVALID_DS_NAME;
      typed = true;
      type = UpperAscii(value);
      value.clear();
    } else {
      value.push_back(c);
    }
  }
  if (typed && !IsNamingType(type)) return ERR_INVALID_DS_NAME;
  if (value.empty()) return ERR_INVALID_DS_NAME;
  if (value.size() > kMaxRdnChars) return ERR_RDN_TOO_LONG;
  out->type = std::move(type);
  out->value = std::move(value);
  return 0;
}

std::string DefaultType(const DName& name, std::size_t index) {
  const std::size_t top = name.parts.size() - 1;
  if (index == top) return "O";
  if (index == 0) return "CN";
  return "OU";
}

}  // namespace

DName DName::Parent() const {
  DName p;
  if (!parts.empty()) p.parts.assign(parts.begin() + 1, parts.end());
  return p;
}

DName DName::Child(Rdn rdn) const {
  DName c;
  c.parts.reserve(parts.size() + 1);
  c.parts.push_back(std::move(rdn));
  c.parts.insert(c.parts.end(), parts.begin(), parts.end());
  return c;
}


bool IsNamingType(std::string_view type) {
  return std::any_of(kNamingTypes.begin(), kNamingTypes.end(),
                     [&](std::string_view t) { return EqualNoCase(t, type); });
}

bool HasControlCharacter(std::string_view text) { return std::any_of(text.begin(), text.end(), IsControl); }

std::string Printable(std::string_view text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!IsControl(c)) {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(digits[byte >> 4]);
      out.push_back(digits[byte & 15]);
    }
  }
  return out;
}

int ParseName(std::string_view text, ParsedName* out) {
  *out = ParsedName{};
  if (text.size() > kMaxDnChars) return ERR_DN_TOO_LONG;
  if (text.empty()) return 0;
  if (HasControlCharacter(text)) return ERR_INVALID_DS_NAME;
  if (EqualNoCase(text, kRootName)) {
    out->absolute = true;
    return 0;
  }
  if (text.find_first_not_of('.') == std::string_view::npos) {
    out->trailingDots = static_cast<int>(text.size());
    return 0;
  }
  std::size_t pos = 0;
  if (text[0] == '.') {
    out->absolute = true;
    pos = 1;
  }
  // Split at unescaped dots; empty pieces may only stand at the end.
  std::vector<std::string_view> pieces;
  std::size_t start = pos;
  for (std::size_t i = pos; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;  // the escaped character belongs to the part
    } else if (text[i] == '.') {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(text.substr(std::min(start, text.size())));
  int dots = 0;
  while (!pieces.empty() && pieces.back().empty()) {
    pieces.pop_back();
    ++dots;
  }
  // "A.B." splits into A, B, "" : one trailing dot.
  if (dots > 0) out->trailingDots = dots;
  if (pieces.empty()) return ERR_INVALID_DS_NAME;
  if (out->absolute && out->trailingDots > 0) return ERR_INVALID_DS_NAME;
  for (std::string_view piece : pieces) {
    if (piece.empty()) return ERR_INVALID_DS_NAME;
    Rdn rdn;
    if (int rc = ParsePart(piece, &rdn); rc != 0) return rc;
    out->parts.push_back(std::move(rdn));
  }
  return 0;
}

int ApplyContext(const ParsedName& name, const DName& context, DName* out) {
  out->parts = name.parts;
  if (name.absolute) return 0;
  const auto drop = static_cast<std::size_t>(name.trailingDots);
  if (drop > context.parts.size()) return ERR_INVALID_DS_NAME;
  out->parts.insert(out->parts.end(), context.parts.begin() + static_cast<std::ptrdiff_t>(drop),
                    context.parts.end());
  return 0;
}

void InferTypes(DName* name, const TypeOracle& oracle) {
  if (name->parts.empty()) return;
  bool oracleUseful = static_cast<bool>(oracle);
  for (std::size_t i = name->parts.size(); i-- > 0;) {
    Rdn& part = name->parts[i];
    if (!part.type.empty()) continue;
    std::string type;
    if (oracleUseful) {
      DName parent;
      parent.parts.assign(name->parts.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                          name->parts.end());
      type = oracle(parent, part.value);
      // Below an object the tree does not hold, it cannot know anything.
      if (type.empty()) oracleUseful = false;
    }
    part.type = type.empty() ? DefaultType(*name, i) : UpperAscii(type);
  }
}

int CanonicalizeName(std::string_view text, const DName& context, const TypeOracle& oracle,
                     DName* out) {
  ParsedName parsed;
  if (int rc = ParseName(text, &parsed); rc != 0) return rc;
  DName name;
  if (int rc = ApplyContext(parsed, context, &name); rc != 0) return rc;
  InferTypes(&name, oracle);
  if (FormatName(name, false).size() > kMaxDnChars) return ERR_DN_TOO_LONG;
  *out = std::move(name);
  return 0;
}

std::string EscapeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 1);
  // Written whole, this value would name the root.
  if (EqualNoCase(value, kRootName)) out.push_back('\\');
  for (char c : value) {
    if (NeedsEscape(c)) out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

std::string FormatName(const DName& name, bool typeless) {
  if (name.parts.empty()) return kRootName;
  std::string out;
  for (std::size_t i = 0; i < name.parts.size(); ++i) {
    if (i > 0) out.push_back('.');
    const Rdn& part = name.parts[i];
    if (!typeless && !part.type.empty()) {
      out += part.type;
      out.push_back('=');
    }
    out += EscapeValue(part.value);
  }
  return out;
}

std::string FormatRelative(const DName& name, const DName& context, bool typeless) {
  if (context.IsRoot() || name.IsRoot()) return FormatName(name, typeless);
  // Length of the common tail of both names, keeping at least the leaf.
  std::size_t common = 0;
  while (common < name.parts.size() && common < context.parts.size()) {
    const Rdn& a = name.parts[name.parts.size() - 1 - common];
    const Rdn& b = context.parts[context.parts.size() - 1 - common];
    if (!EqualNoCase(a.type, b.type) || !EqualNoCase(a.value, b.value)) break;
    ++common;
  }
  common = std::min(common, name.parts.size() - 1);
  DName head;
  head.parts.assign(name.parts.begin(),
                    name.parts.end() - static_cast<std::ptrdiff_t>(common));
  std::string out = FormatName(head, typeless);
  out.append(context.parts.size() - common, '.');
  return out;
}

bool SameName(const DName& a, const DName& b) {
  if (a.parts.size() != b.parts.size()) return false;
  for (std::size_t i = 0; i < a.parts.size(); ++i) {
    if (!EqualNoCase(a.parts[i].type, b.parts[i].type) ||
        !EqualNoCase(a.parts[i].value, b.parts[i].value)) {
      return false;
    }
  }
  return true;
}

bool IsWithin(const DName& name, const DName& container) {
  if (container.parts.size() > name.parts.size()) return false;
  const std::size_t offset = name.parts.size() - container.parts.size();
  for (std::size_t i = 0; i < container.parts.size(); ++i) {
    const Rdn& a = name.parts[offset + i];
    const Rdn& b = container.parts[i];
    if (!EqualNoCase(a.type, b.type) || !EqualNoCase(a.value, b.value)) return false;
  }
  return true;
}

}  // namespace nwc
