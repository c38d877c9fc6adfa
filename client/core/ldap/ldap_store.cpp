// The directory store over a live LDAP server: each call of the store holds
// the store's lock and keeps SIGPIPE off while it runs.
#include "ldap_store_impl.h"

namespace nwc {

// ---- the store ----------------------------------------------------------------

LdapStore::LdapStore(LdapSettings settings) : impl_(std::make_unique<Impl>(std::move(settings))) {}
LdapStore::~LdapStore() = default;

std::string LdapStore::TreeName() const { return impl_->s.treeName; }
std::vector<std::string> LdapStore::ReplicaServers() const { return impl_->s.servers; }

std::string LdapStore::ChildType(const DName& parent, std::string_view value) const {
  Impl::Call call(*impl_);
  return impl_->ChildType(parent, value);
}

int LdapStore::Resolve(const DName& name, bool derefAliases, EntryInfo* out) const {
  Impl::Call call(*impl_);
  EntryInfo info;
  if (int rc = impl_->Lookup(name, &info); rc != 0) return rc;
  if (derefAliases && (info.flags & kEntryAlias) != 0) {
    if (info.aliasTarget == 0) return ERR_NO_SUCH_ENTRY;  // an alias that names nothing
    return impl_->ById(info.aliasTarget, out);
  }
  *out = std::move(info);
  return 0;
}

int LdapStore::ResolveLight(const DName& name, bool derefAliases, EntryInfo* out) const {
  Impl::Call call(*impl_);
  EntryInfo info;
  if (int rc = impl_->Lookup(name, &info, Impl::kLight); rc != 0) return rc;
  // An alias's target is found by the full look-up.
  if (derefAliases && info.baseClass == "Alias") return Resolve(name, derefAliases, out);
  *out = std::move(info);
  return 0;
}

int LdapStore::EntryById(std::uint32_t id, EntryInfo* out) const {
  Impl::Call call(*impl_);
  return impl_->ById(id, out);
}

int LdapStore::ListSubordinates(std::uint32_t parentId, std::size_t start, std::size_t maxCount,
                                std::vector<EntryInfo>* page, std::size_t* total) const {
  Impl::Call call(*impl_);
  page->clear();
  // A listing from its start is read anew unless it was read just now; the
  // requests that page on through it take the copy made then. Containers
  // below the root are read page by page, as the requests go on.
  const Impl::Listing* listing = impl_->FindListing(parentId);
  if (parentId != impl_->rootId && (start == 0 || impl_->FindStream(parentId, start) != impl_->streams.end() ||
                                    listing == nullptr)) {
    if (start == 0 && listing != nullptr && impl_->Fresh(listing->at)) {
      if (total) *total = listing->items.size();
      for (std::size_t i = 0; i < listing->items.size() && page->size() < maxCount; ++i) page->push_back(listing->items[i]);
      return 0;
    }
    return impl_->ListStreamed(parentId, start, maxCount, page, total);
  }
  if (start == 0 && listing != nullptr && !impl_->Fresh(listing->at)) listing = nullptr;
  if (listing == nullptr) {
    const auto at = Clock::now();
    std::vector<EntryInfo> items;
    if (int rc = impl_->List(parentId, &items); rc != 0) return rc;
    listing = &impl_->Keep(parentId, std::move(items), at);
  }
  if (total) *total = listing->items.size();
  for (std::size_t i = start; i < listing->items.size() && page->size() < maxCount; ++i) page->push_back(listing->items[i]);
  return 0;
}

int LdapStore::ReadAttribute(std::uint32_t id, std::string_view attrName, AttributeValues* out) const {
  Impl::Call call(*impl_);
  return impl_->ReadAttr(id, attrName, out);
}

int LdapStore::ReadAttributes(std::uint32_t id, std::vector<AttributeValues>* out) const {
  Impl::Call call(*impl_);
  return impl_->ReadAll(id, out);
}

int LdapStore::WhoAmI(EntryInfo* out) const {
  Impl::Call call(*impl_);
  std::optional<DName> me;
  if (int rc = impl_->Me(&me); rc != 0) return rc;
  if (!me) return ERR_NOT_LOGGED_IN;
  return impl_->Lookup(*me, out);
}

int LdapStore::SetPassword(std::uint32_t id, std::string_view newPassword) {
  Impl::Call call(*impl_);
  return impl_->SetPw(id, newPassword);
}

int LdapStore::ChangePassword(std::uint32_t id, std::string_view oldPassword, std::string_view newPassword) {
  Impl::Call call(*impl_);
  return impl_->ChangePw(id, oldPassword, newPassword);
}

int LdapStore::VerifyPassword(std::uint32_t id, std::string_view password) const {
  Impl::Call call(*impl_);
  DName name;
  std::string dn;
  if (int rc = impl_->NameOf(id, &name, &dn); rc != 0) return rc;
  return impl_->Verify(dn, password);
}

int LdapStore::ReadStream(std::uint32_t id, std::string_view attrName, Bytes* out) const {
  Impl::Call call(*impl_);
  AttributeValues values;
  if (int rc = impl_->ReadAttr(id, attrName, &values); rc != 0) return rc;
  const Bytes* bytes = values.values.front().Octets();
  if (values.syntax != SYN_STREAM || bytes == nullptr) return ERR_BAD_SYNTAX;
  *out = *bytes;
  return 0;
}

void LdapStore::Disconnect() {
  Impl::Call call(*impl_);
  impl_->Drop();
}

void LdapStore::SetPageObserver(std::function<void(std::size_t)> observer) {
  Impl::Call call(*impl_);
  impl_->pageObserver = std::move(observer);
}

std::unique_ptr<DirectoryStore> MakeLdapStore(LdapSettings settings, const Network& network) {
  if (settings.treeName.empty()) settings.treeName = network.tree ? network.tree->name : "LDAP";
  if (settings.servers.empty()) {
    for (const Server* s : network.DirectoryServers()) settings.servers.push_back(s->name);
  }
  return std::make_unique<LdapStore>(std::move(settings));
}

}  // namespace nwc
