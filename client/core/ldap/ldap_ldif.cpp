// The built-in tree loaded from an LDIF file (an export of a live directory,
// or client/ldap/demo.ldif), read with libldap's LDIF routines and named by
// the same table as the LDAP store.
#include <ldap.h>
#include <string.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <stdexcept>

#include "common/nwtext.h"
#include "ldap_store.h"
#include "password.h"

namespace nwc {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// A hash no password gives: for hashed userPassword values (the scheme's
// secret stays with the server that made it).
PasswordHash Unmatchable() {
  static const std::string encoded = "pbkdf2-sha256$1$" + std::string(32, '0') + "$" + std::string(64, '0');
  return *PasswordHash::Parse(encoded);
}

// One logical line of a record: its text with continuation lines joined,
// and the number of its first physical line.
struct LdifLine {
  std::string text;
  unsigned long number = 0;
};

bool IsBase64(std::string_view text) {
  if (text.size() % 4 != 0) return false;
  std::size_t pad = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '=') {
      if (i + 2 < text.size()) return false;
      ++pad;
    } else if (pad != 0 || !(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/')) {
      return false;
    }
  }
  return true;
}

class LdifReader {
 public:
  // The longest record the loader takes, as large as a description may be.
  static constexpr std::size_t kMaxRecordBytes = 64u << 20;

  LdifReader(const fs::path& file, const ldap::NameMap& map, DirectoryTree* tree)
      : file_(file), map_(map), tree_(tree), now_(static_cast<std::uint32_t>(std::time(nullptr))) {}

  ~LdifReader() {
    explicit_bzero(chunk_, sizeof chunk_);
    if (fp_ != nullptr) std::fclose(fp_);
  }

  // The file is split into records here, and each record is checked line by
  // line before libldap parses it: libldap reads further files for
  // "include:" lines and ":<" values, and crashes on some malformed lines
  // (an empty attribute name, a "-" in an entry).
  void Read() {
    fp_ = std::fopen(file_.c_str(), "rb");
    if (fp_ == nullptr) throw std::runtime_error(file_.string() + ": cannot open the file");
    // Unbuffered: the file's bytes are read into chunk_ alone, which is wiped.
    std::setvbuf(fp_, nullptr, _IONBF, 0);
    // A record may hold a clear password: its lines are wiped however the
    // record ends.
    struct Record {
      std::vector<LdifLine> lines;
      void Wipe() {
        for (LdifLine& l : lines) WipeString(l.text);
      }
      ~Record() { Wipe(); }
    } record;
    bool first = true;
    while (NextRecord(&record.lines)) {
      const bool entry = CheckRecord(record.lines, first);
      first = false;
      if (entry) ParseRecord(record.lines);
      record.Wipe();
    }
    ResolveAliases();
  }

 private:
  fs::path file_;
  const ldap::NameMap& map_;
  DirectoryTree* tree_;
  std::uint32_t now_;
  std::FILE* fp_ = nullptr;
  char chunk_[65536];
  std::size_t have_ = 0;  // bytes in chunk_
  std::size_t at_ = 0;    // the next one to take
  unsigned long lineNumber_ = 0;
  std::set<std::uint32_t> ids_;
  std::vector<std::pair<DirEntry*, unsigned long>> aliases_;

  // The next physical line without its end (LF or CR LF); false at the end
  // of the file.
  bool NextLine(std::string* line) {
    WipeString(*line);
    bool any = false;
    for (;;) {
      if (at_ == have_) {
        explicit_bzero(chunk_, have_);
        have_ = std::fread(chunk_, 1, sizeof chunk_, fp_);
        at_ = 0;
        if (have_ == 0) {
          if (std::ferror(fp_)) Fail(lineNumber_ + 1, "cannot read the file");
          break;
        }
      }
      any = true;
      const char* from = chunk_ + at_;
      const auto* end = static_cast<const char*>(std::memchr(from, '\n', have_ - at_));
      const std::size_t n = end != nullptr ? static_cast<std::size_t>(end - from) : have_ - at_;
      if (std::memchr(from, '\0', n) != nullptr) Fail(lineNumber_ + 1, "a NUL byte is in no LDIF line");
      line->append(from, n);
      at_ += n;
      if (line->size() > kMaxRecordBytes) Fail(lineNumber_ + 1, "a line longer than 64 MB");
      if (end != nullptr) {
        ++at_;
        break;
      }
    }
    if (!any) return false;
    ++lineNumber_;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
  }

  // The next record: the logical lines up to a blank line. Comment lines
  // (and their continuations) are left out.
  bool NextRecord(std::vector<LdifLine>* record) {
    record->clear();
    std::string line;
    struct Wiped {
      std::string& text;
      ~Wiped() { WipeString(text); }
    } wiped{line};
    bool comment = false;
    std::size_t bytes = 0;
    while (NextLine(&line)) {
      if (line.empty()) {
        if (!record->empty()) break;
        comment = false;
        continue;
      }
      bytes += line.size();
      if (bytes > kMaxRecordBytes) Fail(record->empty() ? lineNumber_ : record->front().number, "a record larger than 64 MB");
      if (line.front() == ' ') {
        if (comment) continue;
        if (record->empty()) Fail(lineNumber_, "a continued line with no line before it");
        record->back().text.append(line, 1);
      } else if (line.front() == '#') {
        comment = true;
      } else {
        comment = false;
        record->push_back({std::move(line), lineNumber_});
        line.clear();
      }
    }
    return !record->empty();
  }

  // Checks every line of a record; false for a record that holds no entry
  // (the file's "version: 1" alone).
  bool CheckRecord(std::vector<LdifLine>& record, bool first) {
    if (first && EqualNoCase(TypeOf(record.front()), "version")) {
      if (Value(record.front()) != "1") Fail(record.front().number, "only LDIF version 1 is read");
      record.erase(record.begin());
      if (record.empty()) return false;
    }
    bool dn = false;
    for (const LdifLine& l : record) {
      const std::string type = TypeOf(l);
      if (EqualNoCase(type, "include")) Fail(l.number, "'include:' would read another file; an LDIF file is read alone");
      if (l.text == "-") Fail(l.number, "'-' belongs to a change record; the file must hold entries only");
      if (type.empty()) Fail(l.number, "the attribute name is missing");
      if (!std::isalnum(static_cast<unsigned char>(type.front())) ||
          type.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-.;") != std::string::npos) {
        Fail(l.number, "expected an attribute name and ':' (letters, digits, '-', '.', ';')");
      }
      if (EqualNoCase(type, "changetype") || EqualNoCase(type, "control")) {
        Fail(l.number, "'" + type + ":' belongs to a change record; the file must hold entries only");
      }
      const std::size_t colon = l.text.find(':');
      if (colon + 1 < l.text.size() && l.text[colon + 1] == '<') {
        Fail(l.number, "a value read from a URL (':<'): an LDIF file is read alone");
      }
      if (colon + 1 < l.text.size() && l.text[colon + 1] == ':' && !IsBase64(Value(l))) {
        Fail(l.number, "the value after '::' is not base64");
      }
      const bool isDn = EqualNoCase(type, "dn");
      if (&l == &record.front() && !isDn) Fail(l.number, "a record starts with its 'dn:' line");
      if (isDn && dn) Fail(l.number, "a second 'dn:' line in one record (a blank line is missing before it?)");
      dn = dn || isDn;
    }
    return true;
  }

  // The attribute name of a line: the text before its first ':', blanks at
  // its end dropped; the whole line when there is no ':'.
  static std::string TypeOf(const LdifLine& l) {
    const std::size_t colon = l.text.find(':');
    if (colon == std::string::npos) return "\x01";  // no name at all: never a valid one
    std::string type = l.text.substr(0, colon);
    while (!type.empty() && type.back() == ' ') type.pop_back();
    return type;
  }

  // The value text after ':', '::' or ':<' and the blanks after them.
  static std::string_view Value(const LdifLine& l) {
    std::string_view v(l.text);
    v.remove_prefix(std::min(v.size(), l.text.find(':') + 1));
    if (!v.empty() && (v.front() == ':' || v.front() == '<')) v.remove_prefix(1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    return v;
  }

  void ParseRecord(const std::vector<LdifLine>& record) {
    const unsigned long start = record.front().number;
    std::string text;
    for (const LdifLine& l : record) {
      text += l.text;
      text.push_back('\n');
    }
    LDIFRecord parsed{};
    berval bv{text.size(), text.data()};
    const int rc = ldap_parse_ldif_record(&bv, start, &parsed, "nwclient",
                                          LDIF_DEFAULT_ADD | LDIF_ENTRIES_ONLY | LDIF_NO_CONTROLS);
    ldap::RawEntry raw;
    const bool entry = rc == LDAP_SUCCESS && parsed.lr_op == LDAP_REQ_ADD;
    if (entry) {
      raw.dn.assign(parsed.lr_dn.bv_val ? parsed.lr_dn.bv_val : "", parsed.lr_dn.bv_len);
      for (LDAPMod** m = parsed.lrop_mods; m != nullptr && *m != nullptr; ++m) {
        auto& a = raw.attributes.emplace_back();
        a.first = (*m)->mod_type ? (*m)->mod_type : "";
        if (((*m)->mod_op & LDAP_MOD_BVALUES) != 0) {
          for (berval** v = (*m)->mod_bvalues; v != nullptr && *v != nullptr; ++v) a.second.emplace_back((*v)->bv_val, (*v)->bv_len);
        } else {
          for (char** v = (*m)->mod_values; v != nullptr && *v != nullptr; ++v) a.second.emplace_back(*v);
        }
      }
    }
    if (rc == LDAP_SUCCESS) ldap_ldif_record_done(&parsed);
    // The record may hold a clear password; parsing cut it up in place.
    WipeString(text);
    if (rc != LDAP_SUCCESS || !entry) {
      WipeValues(&raw);
      Fail(start, "not an LDIF entry");
    }
    try {
      Add(raw, start);
    } catch (...) {
      WipeValues(&raw);
      throw;
    }
    WipeValues(&raw);
  }

  static void WipeValues(ldap::RawEntry* raw) {
    for (auto& [name, values] : raw->attributes) {
      for (std::string& v : values) WipeString(v);
    }
  }

  [[noreturn]] void Fail(unsigned long line, const std::string& what) const {
    throw std::runtime_error(file_.string() + ":" + std::to_string(line) + ": " + what);
  }

  void Add(const ldap::RawEntry& raw, unsigned long line) {
    DName name;
    if (!ldap::DnToName(raw.dn, &name) || name.IsRoot()) {
      Fail(line, "'" + Printable(raw.dn) +
                     "' is not a directory name (single-valued parts of cn, ou, o, c, l, st, street; no control characters)");
    }
    if (EqualNoCase(name.parts.front().value, kRootName)) Fail(line, "[Root] is the tree's root: no object takes that name");
    DirEntry* parent = name.Depth() == 1 ? tree_->root.get() : tree_->Find(name.Parent());
    if (parent == nullptr) Fail(line, "the container of '" + Printable(raw.dn) + "' is not in the file before it");
    if (tree_->FindChild(*parent, name.parts.front().value) != nullptr) Fail(line, "'" + Printable(raw.dn) + "' is in the file twice");

    auto e = std::make_unique<DirEntry>();
    e->rdn = name.parts.front();
    e->baseClass = ldap::BaseClassOf(map_, raw);
    e->parent = parent;
    e->modificationTime = now_;
    if (const std::string* ts = raw.First("modifyTimestamp")) {
      if (auto t = ldap::ParseGeneralizedTime(*ts); t && *t >= 0 && *t <= UINT32_MAX) {
        e->modificationTime = static_cast<std::uint32_t>(*t);
      }
    }
    // The ID the LDAP store gives the same entry.
    std::string identifier;
    if (const std::string* uuid = raw.First("entryUUID")) {
      identifier = *uuid;
    } else if (const std::string* guid = raw.First("GUID")) {
      identifier = "guid:" + nwtext::HexEncode(*guid);
    }
    if (!identifier.empty()) {
      const std::uint32_t id = ldap::IdFromIdentifier(identifier);
      if (ids_.insert(id).second) e->id = id;
    }
    if (const std::string* password = raw.First("userPassword")) {
      if (!password->empty() && password->front() == '{') {
        e->password = std::make_shared<const PasswordHash>(Unmatchable());
      } else if (!password->empty()) {
        e->password = std::make_shared<const PasswordHash>(PasswordHash::Create(*password));
      }
    }
    std::vector<AttributeValues> attrs;
    std::string fault;
    if (!ldap::ConvertAttributes(map_, raw, name, e->baseClass, true, &attrs, &fault)) Fail(line, Printable(raw.dn) + ": " + fault);
    for (AttributeValues& a : attrs) e->attributes.push_back({std::move(a.name), a.syntax, std::move(a.values)});
    if (e->baseClass == "Alias") aliases_.emplace_back(e.get(), line);
    parent->AddChild(std::move(e));
  }

  void ResolveAliases() {
    for (auto& [alias, line] : aliases_) {
      const Attribute* a = alias->FindAttribute("Aliased Object Name");
      const std::string* target = a && a->values.size() == 1 ? a->values.front().Text() : nullptr;
      DName name;
      DirEntry* t = nullptr;
      if (target != nullptr && CanonicalizeName(*target, DName{}, TypeOracle{}, &name) == 0) t = tree_->Find(name);
      if (t == nullptr || t->baseClass == "Alias") Fail(line, alias->Canonical() + ": an alias must name one object of the file that is no alias");
      alias->aliasTarget = t;
    }
  }
};

}  // namespace

void LoadLdifTree(const fs::path& file, const ldap::NameMap& map, DirectoryTree* tree) {
  LdifReader reader(file, map, tree);
  reader.Read();
}

void LoadLdifDirectory(const Json& desc, const fs::path& baseDir, const std::string& where, DirectoryTree* tree) {
  const Json* fileField = &desc;
  std::string fileWhere = where;
  ldap::NameMap map;
  if (desc.is_object()) {
    for (const auto& item : desc.items()) {
      if (item.key() != "file" && item.key() != "attributeMap" && item.key() != "classMap") {
        throw std::runtime_error(where + ": unknown field '" + item.key() + "'");
      }
    }
    auto it = desc.find("file");
    if (it == desc.end()) throw std::runtime_error(where + ": the field 'file' is missing");
    fileField = &*it;
    fileWhere = where + ".file";
    auto am = desc.find("attributeMap");
    auto cm = desc.find("classMap");
    map = ParseNameMap(am == desc.end() ? nullptr : &*am, cm == desc.end() ? nullptr : &*cm, where);
  }
  if (!fileField->is_string() || fileField->get_ref<const std::string&>().empty()) {
    throw std::runtime_error(fileWhere + ": must name an LDIF file");
  }
  const std::string& text = fileField->get_ref<const std::string&>();
  const fs::path file = fs::path(text).is_absolute() ? fs::path(text) : baseDir / text;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw std::runtime_error(fileWhere + ": the file " + file.string() + " does not exist");
  LoadLdifTree(file, map, tree);
}

}  // namespace nwc
