// Reads a network description (JSON, see client/NETWORK.md) into the model:
// the JSON helpers every part of the loader uses, the order of the load, and
// ParseNetwork, which turns any fault into one message.
#include <algorithm>
#include <climits>
#include <cstring>

#include "common/nwtext.h"
#include "description_loader.h"
#include "directory.h"

namespace nwc {

namespace desc {

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw LoadError(where.empty() ? what : where + ": " + what);
}

std::string Quote(std::string_view s) {
  // Appended rather than "'" + text + "'": GCC 12 warns falsely (-Wrestrict)
  // on inserting before a temporary string.
  std::string quoted(1, '\'');
  quoted += Printable(s);
  quoted += '\'';
  return quoted;
}

std::string Member(const std::string& where, std::string_view key) {
  return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string Index(const std::string& where, std::size_t i) {
  return where + "[" + std::to_string(i) + "]";
}

const char* KindOf(const Json& j) {
  switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "a list";
    case Json::value_t::string: return "a text";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::number_float: return "a fraction";
    default: return "a number";
  }
}

void CheckKeys(const Json& obj, const std::string& where, std::initializer_list<std::string_view> keys) {
  if (!obj.is_object()) Fail(where, std::string("must be an object, not ") + KindOf(obj));
  for (const auto& item : obj.items()) {
    if (std::find(keys.begin(), keys.end(), item.key()) == keys.end()) {
      Fail(where, "unknown field " + Quote(item.key()));
    }
  }
}

const Json* Opt(const Json& obj, std::string_view key) {
  auto it = obj.find(std::string(key));
  return it == obj.end() ? nullptr : &*it;
}

const std::string& AsString(const Json& j, const std::string& where) {
  if (!j.is_string()) Fail(where, std::string("must be a text, not ") + KindOf(j));
  return j.get_ref<const std::string&>();
}

std::int64_t AsInt(const Json& j, const std::string& where, std::int64_t lo, std::int64_t hi) {
  std::int64_t v = 0;
  if (j.is_number_unsigned()) {
    auto u = j.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(hi)) Fail(where, "must be at most " + std::to_string(hi));
    v = static_cast<std::int64_t>(u);
  } else if (j.is_number_integer()) {
    v = j.get<std::int64_t>();
  } else {
    Fail(where, std::string("must be a whole number, not ") + KindOf(j));
  }
  if (v < lo || v > hi) {
    Fail(where, "must be between " + std::to_string(lo) + " and " + std::to_string(hi));
  }
  return v;
}

bool AsBool(const Json& j, const std::string& where) {
  if (!j.is_boolean()) Fail(where, std::string("must be true or false, not ") + KindOf(j));
  return j.get<bool>();
}

const Json& AsArray(const Json& j, const std::string& where) {
  if (!j.is_array()) Fail(where, std::string("must be a list, not ") + KindOf(j));
  return j;
}

const Json& Req(const Json& obj, std::string_view key, const std::string& where) {
  const Json* j = Opt(obj, key);
  if (j == nullptr) Fail(where, "the field " + Quote(key) + " is missing");
  return *j;
}

std::uint32_t AsShownId(const Json& j, const std::string& where) {
  const std::string& text = AsString(j, where);
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.erase(0, 2);
  if (digits.empty() || digits.size() > 8 ||
      digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    Fail(where, "must be a hexadecimal ID of at most 8 digits, not " + Quote(text));
  }
  const std::uint32_t shown = nwtext::ParseNumber<std::uint32_t>(digits, 16).value_or(0);
  if (shown == 0 || shown == 0xFFFFFFFF) Fail(where, "0 and FFFFFFFF are not object IDs");
  return IdFromDisplay(shown);
}

std::string Expand(const std::string& pattern, long n, const std::string& where) {
  if (n < 0) return pattern;
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool zero = j < pattern.size() && pattern[j] == '0';
    if (zero) ++j;
    std::size_t end = j;
    while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
    const int width = end == j ? 0 : nwtext::ParseNumber<int>(pattern.substr(j, end - j)).value_or(INT_MAX);
    j = end;
    if (j >= pattern.size() || pattern[j] != 'd' || width > 20) {
      // The pattern may be an attribute's value: say where, not what.
      Fail(where, "only %d, %Nd, %0Nd and %% may stand in a generated text (the '%' at character " +
                      std::to_string(i + 1) + ")");
    }
    std::string digits = std::to_string(n);
    if (static_cast<int>(digits.size()) < width) {
      digits.insert(0, static_cast<std::size_t>(width) - digits.size(), zero ? '0' : ' ');
    }
    out += digits;
    i = j;
  }
  return out;
}

std::uint32_t Fnv(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<std::uint8_t>(c);
    h *= 16777619u;
  }
  return h;
}

bool ValidServerName(std::string_view name) {
  if (name.size() < 2 || name.size() >= NW_MAX_BINDERY_NAME) return false;
  for (char c : name) {
    if (c <= ' ' || c > '~' || std::strchr("\"*+,./:;<=>?[\\]|", c) != nullptr) return false;
  }
  return true;
}

bool ValidBinderyName(std::string_view name) {
  if (name.empty() || name.size() >= NW_MAX_BINDERY_NAME) return false;
  for (char c : name) {
    if (c < ' ' || c > '~' || std::strchr("\"*,/:;<=>?[\\]|", c) != nullptr) return false;
  }
  return true;
}



}  // namespace desc

namespace {

using desc::Json;
namespace fs = std::filesystem;
using desc::LoadError;
using desc::Loader;


// A JSON syntax fault: where it is and what was expected. The parser's own
// message ends with the text it read last, which may be a password, so only
// its fixed parts are kept:
//   "[json.exception.parse_error.101] parse error at line 3, column 5: syntax
//    error while parsing object key - invalid literal; last read: '<text>';
//    expected string literal"
std::string JsonFault(const Json::parse_error& e, std::string_view json) {
  const std::string_view what = e.what();
  // The place: from the message's head, else from the byte offset.
  std::string place;
  const std::size_t at = what.find(" at line ");
  const std::size_t colon = what.find(": ");
  if (at != std::string_view::npos && colon != std::string_view::npos && at < colon) {
    place = std::string(what.substr(at + 4, colon - at - 4));
  } else {
    const std::size_t byte = std::min<std::size_t>(e.byte == 0 ? 0 : e.byte - 1, json.size());
    const std::string_view before = json.substr(0, byte);
    const std::size_t lastBreak = before.rfind('\n');
    place = "line " + std::to_string(std::count(before.begin(), before.end(), '\n') + 1) + ", column " +
            std::to_string(lastBreak == std::string_view::npos ? byte + 1 : byte - lastBreak);
  }
  std::string fault = "malformed JSON";
  const std::size_t parsing = what.find("while parsing ");
  const std::size_t dash = what.find(" - ", colon == std::string_view::npos ? 0 : colon);
  if (dash != std::string_view::npos) {
    if (parsing != std::string_view::npos && parsing < dash) {
      fault += " while parsing " + std::string(what.substr(parsing + 14, dash - parsing - 14));
    }
    // The lexer's own words come before "; last read", and are fixed texts.
    std::string_view detail = what.substr(dash + 3);
    const std::size_t read = detail.find("; last read: '");
    if (read != std::string_view::npos) {
      fault += ": " + std::string(detail.substr(0, read));
    } else {
      const std::size_t expected = detail.find("; expected ");
      fault += ": " + std::string(detail.substr(0, expected));
    }
  }
  // What the parser expected instead: one of its token names, at the end.
  static const std::string_view kTokens[] = {"true literal", "false literal", "null literal", "string literal",
                                             "number literal", "'['", "'{'", "']'", "'}'", "':'", "','",
                                             "end of input", "'[', '{', or a literal"};
  for (std::string_view token : kTokens) {
    const std::string tail = "; expected " + std::string(token);
    if (what.size() >= tail.size() && what.substr(what.size() - tail.size()) == tail) {
      fault += "; expected " + std::string(token);
      break;
    }
  }
  return place + ": " + Printable(fault);
}

}  // namespace

std::unique_ptr<Network> ParseNetwork(std::string_view json, const fs::path& baseDir, std::string_view label,
                                      std::string* error) {
  const std::string prefix = std::string(label) + ": ";
  try {
    Json doc = Json::parse(json.begin(), json.end());
    // Clear passwords in the document are wiped before it is freed, also
    // when the load fails.
    struct Wiper {
      Json& doc;
      ~Wiper() { Wipe(doc); }
      static void Wipe(Json& j) {
        if (j.is_object()) {
          for (auto& item : j.items()) {
            if (item.key() == "password" && item.value().is_string()) WipeString(item.value().get_ref<std::string&>());
            Wipe(item.value());
          }
        } else if (j.is_array()) {
          for (auto& v : j) Wipe(v);
        }
      }
    } wiper{doc};
    auto net = std::make_unique<Network>();
    net->source = std::string(label);
    Loader loader(baseDir, *net);
    loader.Load(doc);
    if (loader.Ldap()) {
      net->SetStore(ldaplib::MakeStore(*loader.Ldap(), *net));
    } else if (net->tree) {
      net->SetStore(MakeBuiltinStore(*net));
    }
    return net;
  } catch (const Json::parse_error& e) {
    if (error) *error = prefix + JsonFault(e, json);
  } catch (const LoadError& e) {
    if (error) *error = prefix + e.what();
  } catch (const std::exception& e) {
    if (error) *error = prefix + e.what();
  } catch (...) {
    if (error) *error = prefix + "unreadable description";
  }
  // Field names and texts of the description stand in the message: it stays
  // one line whatever they hold.
  if (error) *error = Printable(*error);
  return nullptr;
}

}  // namespace nwc
