// The directory store over the simulated network's tree.
#include <algorithm>

#include "directory.h"

namespace nwc {

namespace {

class BuiltinStore final : public DirectoryStore {
 public:
  explicit BuiltinStore(Network& net) : net_(net) {}

  std::string TreeName() const override { return net_.tree->name; }

  std::vector<std::string> ReplicaServers() const override {
    std::vector<std::string> out;
    // The primary connection's server first when it holds the tree.
    if (const Connection* p = net_.workstation.Primary(); p && p->server->directoryServer) out.push_back(p->server->name);
    for (const Server* s : net_.DirectoryServers()) {
      if (std::find(out.begin(), out.end(), s->name) == out.end()) out.push_back(s->name);
    }
    return out;
  }

  std::string ChildType(const DName& parent, std::string_view value) const override {
    return net_.tree->ChildType(parent, value);
  }

  int Resolve(const DName& name, bool derefAliases, EntryInfo* out) const override {
    const DirEntry* e = net_.tree->Find(name);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    if (derefAliases && e->aliasTarget) e = e->aliasTarget;
    Fill(*e, out);
    return 0;
  }

  int EntryById(std::uint32_t id, EntryInfo* out) const override {
    const DirEntry* e = net_.tree->FindById(id);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    Fill(*e, out);
    return 0;
  }

  int ListSubordinates(std::uint32_t parentId, std::size_t start, std::size_t maxCount,
                       std::vector<EntryInfo>* page, std::size_t* total) const override {
    const DirEntry* e = net_.tree->FindById(parentId);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    page->clear();
    if (total) *total = e->Children().size();
    for (std::size_t i = start; i < e->Children().size() && page->size() < maxCount; ++i) {
      EntryInfo info;
      Fill(*e->Children()[i], &info);
      page->push_back(std::move(info));
    }
    return 0;
  }

  int ReadAttribute(std::uint32_t id, std::string_view attrName, AttributeValues* out) const override {
    const DirEntry* e = net_.tree->FindById(id);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    std::optional<Attribute> a = e->ReadAttribute(attrName);
    if (!a || a->values.empty()) return ERR_NO_SUCH_ATTRIBUTE;
    *out = AttributeValues{std::move(a->name), a->syntax, std::move(a->values)};
    return 0;
  }

  int ReadAttributes(std::uint32_t id, std::vector<AttributeValues>* out) const override {
    const DirEntry* e = net_.tree->FindById(id);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    out->clear();
    e->ForEachAttribute([&](const Attribute& a) { out->push_back({a.name, a.syntax, a.values}); });
    return 0;
  }

  int WhoAmI(EntryInfo* out) const override {
    const DirEntry* me = Me();
    if (me == nullptr) return ERR_NOT_LOGGED_IN;
    Fill(*me, out);
    return 0;
  }

  int SetPassword(std::uint32_t id, std::string_view newPassword) override {
    DirEntry* target = nullptr;
    if (int rc = Target(id, &target); rc != 0) return rc;
    if (!MaySetPassword(*target)) return ERR_NO_ACCESS;
    Store(*target, newPassword);
    return 0;
  }

  int ChangePassword(std::uint32_t id, std::string_view oldPassword, std::string_view newPassword) override {
    DirEntry* target = nullptr;
    if (int rc = Target(id, &target); rc != 0) return rc;
    if (target != Me() && !MaySetPassword(*target)) return ERR_NO_ACCESS;
    if (!Verify(*target, oldPassword)) return ERR_FAILED_AUTHENTICATION;
    Store(*target, newPassword);
    return 0;
  }

  int VerifyPassword(std::uint32_t id, std::string_view password) const override {
    const DirEntry* e = net_.tree->FindById(id);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    return Verify(*e, password) ? 0 : ERR_FAILED_AUTHENTICATION;
  }

  int ReadStream(std::uint32_t id, std::string_view attrName, Bytes* out) const override {
    const DirEntry* e = net_.tree->FindById(id);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    std::optional<Attribute> a = e->ReadAttribute(attrName);
    if (!a || a->values.empty()) return ERR_NO_SUCH_ATTRIBUTE;
    Bytes* bytes = std::get_if<Bytes>(&a->values.front().data);
    if (a->syntax != SYN_STREAM || bytes == nullptr) return ERR_BAD_SYNTAX;
    *out = std::move(*bytes);
    return 0;
  }

 private:
  Network& net_;

  DirEntry* Me() const {
    const auto& id = net_.workstation.identity;
    return id ? net_.tree->Find(*id) : nullptr;
  }

  int Target(std::uint32_t id, DirEntry** out) const {
    if (Me() == nullptr) return ERR_NOT_LOGGED_IN;
    DirEntry* e = net_.tree->FindById(id);
    if (e == nullptr) return ERR_NO_SUCH_ENTRY;
    // Passwords belong to objects that log in.
    if (e->baseClass != "User") return ERR_ILLEGAL_ATTRIBUTE;
    *out = e;
    return 0;
  }

  bool MaySetPassword(const DirEntry& target) const {
    const DirEntry* me = Me();
    if (me == nullptr) return false;
    return std::any_of(me->passwordRights.begin(), me->passwordRights.end(),
                       [&](const DirEntry* c) { return target.IsWithin(*c); });
  }

  static bool Verify(const DirEntry& e, std::string_view password) {
    if (!e.password) return password.empty();
    return e.password->Matches(password);
  }

  static void Store(DirEntry& e, std::string_view password) {
    if (password.empty()) {
      e.password.reset();
    } else {
      e.password = std::make_shared<const PasswordHash>(PasswordHash::Create(password));
    }
    e.modificationTime = static_cast<std::uint32_t>(std::time(nullptr));
  }

  static void Fill(const DirEntry& e, EntryInfo* out) {
    out->id = e.id;
    out->name = e.Name();
    out->baseClass = e.baseClass;
    out->flags = 0;
    if (e.IsContainer()) out->flags |= kEntryContainer;
    if (e.IsRoot() || e.baseClass == "Organization") out->flags |= kEntryPartitionRoot;
    if (e.aliasTarget) {
      out->flags |= kEntryAlias;
      if (e.aliasTarget->IsContainer()) out->flags |= kEntryContainerAlias;
    }
    out->subordinateCount = static_cast<std::uint32_t>(e.Children().size());
    out->modificationTime = e.modificationTime;
    out->aliasTarget = e.aliasTarget ? e.aliasTarget->id : 0;
  }
};

std::shared_ptr<DirectoryStore>& Override() {
  static std::shared_ptr<DirectoryStore> store;
  return store;
}

}  // namespace

TypeOracle DirectoryStore::Oracle() const {
  return [this](const DName& parent, const std::string& value) { return ChildType(parent, value); };
}

std::unique_ptr<DirectoryStore> MakeBuiltinStore(Network& network) {
  return std::make_unique<BuiltinStore>(network);
}

DirectoryStore* CurrentDirectoryStore() {
  auto lock = NetworkLock();
  if (Override()) return Override().get();
  Network* net = CurrentNetwork();
  return net ? net->Store() : nullptr;
}

void SetDirectoryStore(std::shared_ptr<DirectoryStore> store) {
  auto lock = NetworkLock();
  Override() = std::move(store);
}

}  // namespace nwc
