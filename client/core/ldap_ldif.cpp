// The built-in tree loaded from an LDIF file (an export of a live directory,
// or client/ldap/demo.ldif), read with libldap's LDIF routines and named by
// the same table as the LDAP store.
#include <ldap.h>
#include <stdio.h>
#include <ldif.h>
#include <string.h>

#include <ctime>
#include <set>
#include <stdexcept>

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

class LdifReader {
 public:
  LdifReader(const fs::path& file, const ldap::NameMap& map, DirectoryTree* tree)
      : file_(file), map_(map), tree_(tree), now_(static_cast<std::uint32_t>(std::time(nullptr))) {}

  ~LdifReader() {
    if (buf_ != nullptr) {
      explicit_bzero(buf_, static_cast<std::size_t>(bufLen_));
      ber_memfree(buf_);
    }
    if (fp_ != nullptr) ldif_close(fp_);
  }

  void Read() {
    fp_ = ldif_open(file_.c_str(), "r");
    if (fp_ == nullptr) throw std::runtime_error(file_.string() + ": cannot open the file");
    unsigned long line = 0;
    for (;;) {
      const unsigned long start = line + 1;
      const int got = ldif_read_record(fp_, &line, &buf_, &bufLen_);
      if (got == 0) break;
      if (got < 0) Fail(start, "cannot read the file");
      LDIFRecord record{};
      berval text{strlen(buf_), buf_};
      const int rc = ldap_parse_ldif_record(&text, line, &record, "nwclient",
                                            LDIF_DEFAULT_ADD | LDIF_ENTRIES_ONLY | LDIF_NO_CONTROLS);
      if (rc != LDAP_SUCCESS) Fail(start, "not an LDIF entry");
      ldap::RawEntry raw;
      const bool entry = record.lr_op == LDAP_REQ_ADD;
      if (entry) {
        raw.dn.assign(record.lr_dn.bv_val ? record.lr_dn.bv_val : "", record.lr_dn.bv_len);
        for (LDAPMod** m = record.lrop_mods; m != nullptr && *m != nullptr; ++m) {
          auto& a = raw.attributes.emplace_back();
          a.first = (*m)->mod_type ? (*m)->mod_type : "";
          if (((*m)->mod_op & LDAP_MOD_BVALUES) != 0) {
            for (berval** v = (*m)->mod_bvalues; v != nullptr && *v != nullptr; ++v) a.second.emplace_back((*v)->bv_val, (*v)->bv_len);
          } else {
            for (char** v = (*m)->mod_values; v != nullptr && *v != nullptr; ++v) a.second.emplace_back(*v);
          }
        }
      }
      ldap_ldif_record_done(&record);
      // The record may hold a clear password; parsing cut it up in place.
      explicit_bzero(buf_, static_cast<std::size_t>(bufLen_));
      if (entry) Add(raw, start);
      for (auto& [name, values] : raw.attributes) {
        for (std::string& v : values) WipeString(v);
      }
    }
    ResolveAliases();
  }

 private:
  fs::path file_;
  const ldap::NameMap& map_;
  DirectoryTree* tree_;
  std::uint32_t now_;
  LDIFFP* fp_ = nullptr;
  char* buf_ = nullptr;
  int bufLen_ = 0;
  std::set<std::uint32_t> ids_;
  std::vector<std::pair<DirEntry*, unsigned long>> aliases_;

  [[noreturn]] void Fail(unsigned long line, const std::string& what) const {
    throw std::runtime_error(file_.string() + ":" + std::to_string(line) + ": " + what);
  }

  void Add(const ldap::RawEntry& raw, unsigned long line) {
    DName name;
    if (!ldap::DnToName(raw.dn, &name) || name.IsRoot()) {
      Fail(line, "'" + raw.dn + "' is not a directory name (single-valued parts of cn, ou, o, c, l, st, street)");
    }
    DirEntry* parent = name.Depth() == 1 ? tree_->root.get() : tree_->Find(name.Parent());
    if (parent == nullptr) Fail(line, "the container of '" + raw.dn + "' is not in the file before it");
    if (tree_->FindChild(*parent, name.parts.front().value) != nullptr) Fail(line, "'" + raw.dn + "' is in the file twice");

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
      static const char digits[] = "0123456789abcdef";
      identifier = "guid:";
      for (unsigned char c : *guid) {
        identifier.push_back(digits[c >> 4]);
        identifier.push_back(digits[c & 15]);
      }
    }
    if (!identifier.empty()) {
      const std::uint32_t id = ldap::IdFromIdentifier(identifier);
      if (ids_.insert(id).second) e->id = id;
    }
    if (const std::string* password = raw.First("userPassword")) {
      if (!password->empty() && password->front() == '{') {
        e->password = Unmatchable();
      } else if (!password->empty()) {
        e->password = PasswordHash::Create(*password);
      }
    }
    std::vector<AttributeValues> attrs;
    std::string fault;
    if (!ldap::ConvertAttributes(map_, raw, name, e->baseClass, true, &attrs, &fault)) Fail(line, raw.dn + ": " + fault);
    for (AttributeValues& a : attrs) e->attributes.push_back({std::move(a.name), a.syntax, std::move(a.values)});
    if (e->baseClass == "Alias") aliases_.emplace_back(e.get(), line);
    parent->children.push_back(std::move(e));
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
