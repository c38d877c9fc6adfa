// The LDAP store's listings: the subordinates of a container, read whole
// (the root's, and kept for the requests that page through them) or page by
// page as the requests go on; and the naming type of a child.
#include "ldap_store_impl.h"

namespace nwc {

// The number of subordinates of a container whose server does not say:
// from the listing being paged through (the entry points look the
// container up again for every reply). A container looked up by itself
// (`listIt`) is listed, and the listing kept for the NWDSList that
// usually follows; one listed below another is counted, names only.
int LdapStore::Impl::CountChildren(EntryInfo* info, bool listIt) {
  if (const Listing* l = FindListing(info->id)) {
    info->subordinateCount = static_cast<std::uint32_t>(l->items.size());
    return 0;
  }
  if (auto it = counts.find(info->id); it != counts.end() && Fresh(it->second.second)) {
    info->subordinateCount = it->second.first;
    return 0;
  }
  if (listIt) {
    std::vector<EntryInfo> items;
    const auto at = Clock::now();
    const int rc = List(info->id, &items);
    if (rc == 0) {
      info->subordinateCount = static_cast<std::uint32_t>(items.size());
      Keep(info->id, std::move(items), at);
      return 0;
    }
    // A subordinate on a server that cannot or may not be asked: the
    // container itself still reads, its subordinates counted by name.
    if (rc != ERR_NO_REFERRALS && rc != ERR_ALL_REFERRALS_FAILED && rc != ERR_UNREACHABLE_SERVER) return rc;
  }
  std::uint32_t count = 0;
  std::string dn;
  if (!DnOf(info->name, &dn)) return 0;
  const int rc = Search(dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", kNoAttributes, true, [&](const RawEntry&) { ++count; });
  if (rc != 0) return rc;
  info->subordinateCount = count;
  if (s.cacheSeconds > 0) counts[info->id] = {count, Clock::now()};
  return 0;
}

int LdapStore::Impl::List(std::uint32_t parentId, std::vector<EntryInfo>* out) {
  out->clear();
  if (parentId == rootId) {
    std::vector<DName> top;
    if (int rc = TopBases(&top); rc != 0) return rc;
    for (const DName& b : top) {
      EntryInfo info;
      int rc = Lookup(b, &info, kChild);
      if (rc == 0) {
        out->push_back(std::move(info));
      } else if (rc != ERR_NO_SUCH_ENTRY) {
        out->clear();
        return rc;
      }
    }
    return 0;
  }
  // The search itself tells when the container is gone.
  std::string dn;
  if (!DnOfId(parentId, &dn)) return ERR_NO_SUCH_ENTRY;
  std::vector<Followup> followups;
  std::vector<bool> uidNamed;
  int rc = Search(
      dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", kEntryAttributes, true,
      [&](const RawEntry& raw) {
        Followup f{out->size(), {}, false};
        EntryInfo info;
        if (!Convert(raw, &info, &f)) return;  // a name the directory cannot spell
        out->push_back(std::move(info));
        uidNamed.push_back(f.uidLeaf);
        if (f.countChildren || !f.aliasDn.empty()) followups.push_back(std::move(f));
      },
      true);
  for (std::size_t i = 0; rc == 0 && i < followups.size(); ++i) {
    rc = Complete(&(*out)[followups[i].index], followups[i], false);
  }
  if (rc == 0) {
    ldap::HashSet seen;
    DropTwins(out, uidNamed, dn, &seen);
  }
  if (rc != 0) out->clear();
  return rc;
}

void LdapStore::Impl::DropTwins(std::vector<EntryInfo>* items, const std::vector<bool>& uidNamed,
                                const std::string& parentDn, ldap::HashSet* seen) {
  std::vector<std::size_t> twins;
  for (std::size_t i = 0; i < items->size(); ++i) {
    const Rdn& leaf = (*items)[i].name.parts.front();
    if (!EqualNoCase(leaf.type, "CN") || seen->Insert(ldap::KnownTable::Fold(Key(leaf.value)))) continue;
    // The value's hash was met before in this listing: the same name in the
    // other form, unless two names share a hash. The server tells which.
    const bool byUid = uidNamed[i];
    const std::string other = (byUid ? "cn=" : "uid=") + ldap::EscapeDnValue(leaf.value) + "," + parentDn;
    RawEntry raw;
    if (ReadOne(other, kNoAttributes, &raw) != 0) continue;
    std::fprintf(stderr, "nwclient: %s is named twice in %s (by cn and by uid); the entry %s is left out\n",
                 leaf.value.c_str(), parentDn.c_str(), byUid ? "named by uid" : "named by cn");
    twins.push_back(i);
    // The name stands for the entry that is shown: a listing's users keep
    // no DN, so the one named by uid is told here when it is the one shown.
    if (byUid) {
      uidDns.erase(ldap::NameKey((*items)[i].name));
    } else {
      uidDns[ldap::NameKey((*items)[i].name)] = raw.dn.empty() ? other : raw.dn;
    }
  }
  for (auto it = twins.rbegin(); it != twins.rend(); ++it) items->erase(items->begin() + static_cast<std::ptrdiff_t>(*it));
}

// Reads the stream's next page in place of the one at hand, and completes
// its entries.
int LdapStore::Impl::NextPage(Stream& st) {
  std::vector<Followup> followups;
  std::vector<bool> uidNamed;
  bool delivered = false;
  // Another listing's paged search since this one's last request took the
  // server's paging state, and this one's cookie with it: the listing is
  // asked for again from its start, passing over the entries already read
  // (a server returns a container's entries in the same order each time).
  std::size_t skip = 0;
  if (st.pages > 0 && st.ahead == 0 && pagedBy != st.token && !st.cookie.empty()) {
    st.cookie.clear();
    skip = st.raw;
  }
  auto onEntry = [&](const RawEntry& raw) {
    if (skip > 0) {
      --skip;
      return;
    }
    ++st.raw;
    Followup f{st.page.size(), {}, false};
    EntryInfo info;
    if (!Convert(raw, &info, &f)) return;  // a name the directory cannot spell
    st.page.push_back(std::move(info));
    uidNamed.push_back(f.uidLeaf);
    if (f.countChildren || !f.aliasDn.empty()) followups.push_back(std::move(f));
  };
  // Paged results let every request name its own size.
  const int size = st.pages == 0 ? std::min(s.pageSize, kFirstPageSize) : s.pageSize;
  auto request = [&] {
    listed = st.base;
    if (!st.name.IsRoot()) listingParent = {st.parent, &st.dn, &st.name};
    const int ahead = std::exchange(st.ahead, 0);
    SendingFor sending(*this, st.token);
    const int rc = ahead != 0 ? CollectPage(ahead, st.dn, LDAP_SCOPE_ONELEVEL, kListFilter, kEntryAttributes,
                                            &st.cookie, st.end, onEntry, &delivered)
                              : SearchPage(st.dn, LDAP_SCOPE_ONELEVEL, kListFilter, kEntryAttributes, &st.cookie,
                                           st.end, onEntry, &delivered, skip > 0 ? s.pageSize : size);
    listingParent = {};
    return rc;
  };
  // The page before stays at hand: a reply that filled up part of the way
  // into the new page goes on from the old one's tail.
  st.previousBase = st.base;
  st.previous = std::move(st.page);
  st.base += st.previous.size();
  st.page.clear();
  int rc = 0;
  if (st.pages == 0) {
    // A kept connection may have died in between: the first page is asked
    // for once more on a new one.
    const bool reused = ld != nullptr;
    if ((rc = Connect()) == 0) rc = request();
    if (rc == ERR_TRANSPORT_FAILURE && reused && !delivered && ld == nullptr) {
      st.page.clear();
      followups.clear();
      uidNamed.clear();
      if ((rc = Connect()) == 0) rc = request();
    }
    st.connection = connections;
  } else if (ld == nullptr || st.connection != connections) {
    st.ahead = 0;
    rc = ERR_TRANSPORT_FAILURE;  // the connection the search ran on is gone
  } else {
    rc = request();
    // Read again up to where the listing stood.
    while (rc == 0 && skip > 0 && !st.cookie.empty()) {
      if ((rc = CheckPaging(st.cookie, st.end, &st.cookies, true)) == 0) rc = request();
    }
  }
  if (rc != 0) return rc;
  ++st.pages;
  if (pageObserver) {
    pageObserver(st.pages);
    if (ld == nullptr) return ERR_TRANSPORT_FAILURE;
  }
  if (!st.cookie.empty()) {
    if ((rc = CheckPaging(st.cookie, st.end, &st.cookies, listed > st.base)) != 0) return rc;
  }
  for (const Followup& f : followups) {
    if ((rc = Complete(&st.page[f.index], f, false)) != 0) return rc;
  }
  DropTwins(&st.page, uidNamed, st.dn, &st.leaves);
  // The next page is asked for now, so that the server sends it while this
  // one is used; a request that cannot be sent is made again when needed.
  if (!st.cookie.empty() && ld != nullptr && st.connection == connections && pagedBy == st.token) {
    int msgid = 0;
    SendingFor sending(*this, st.token);
    if (SendPage(st.dn, LDAP_SCOPE_ONELEVEL, kListFilter, kEntryAttributes, &st.cookie, s.pageSize, &msgid) == 0) {
      st.ahead = msgid;
    }
  }
  return 0;
}

// Tells the server that a listing read part of the way is done with (a
// zero-size page request with its cookie).
void LdapStore::Impl::Abandon(const Stream& st) {
  if (st.cookie.empty() || ld == nullptr || st.connection != connections) return;
  if (st.ahead != 0) {
    // The page asked for ahead is let go: abandoning its request ends the
    // search on the server.
    ldap_abandon_ext(ld, st.ahead, nullptr, nullptr);
    return;
  }
  if (pagedBy != st.token) return;  // the server holds another search's paging
  std::string cookie = st.cookie;
  bool delivered = false;
  SendingFor sending(*this, st.token);
  SearchPage(st.dn, LDAP_SCOPE_ONELEVEL, kListFilter, kNoAttributes, &cookie, Deadline(),
             [](const RawEntry&) {}, &delivered, 0);
}

// Subordinates from `start` of a listing read page by page: a request that
// goes on where an open listing stands takes its page at hand and the
// pages after it; any other starts a new listing.
int LdapStore::Impl::ListStreamed(std::uint32_t parentId, std::size_t start, std::size_t maxCount, std::vector<EntryInfo>* out,
                 std::size_t* total) {
  auto it = start > 0 ? FindStream(parentId, start) : streams.end();
  if (it == streams.end()) {
    Stream fresh;
    if (!DnOfId(parentId, &fresh.dn)) return ERR_NO_SUCH_ENTRY;
    fresh.token = ++streamTokens;
    // Without a dotted name for the container, each entry's DN is read whole.
    if (!ldap::DnToName(fresh.dn, &fresh.name) || fresh.name.IsRoot()) fresh.name = DName{};
    fresh.parent = parentId;
    fresh.end = Clock::now() + std::chrono::seconds(s.listTimeLimitSeconds);
    streams.push_front(std::move(fresh));
    while (streams.size() > kOpenListings) {
      Abandon(streams.back());
      streams.pop_back();
    }
    it = streams.begin();
    int rc = NextPage(*it);
    // A request from further along whose listing was let go reads up to
    // where it stands.
    while (rc == 0 && start > it->base + it->page.size() && !it->cookie.empty()) rc = NextPage(*it);
    if (rc != 0) {
      streams.erase(it);
      return rc;
    }
  } else if (it != streams.begin()) {
    streams.splice(streams.begin(), streams, it);
    it = streams.begin();
  }
  Stream& st = *it;
  while (out->size() < maxCount) {
    const std::size_t at = start + out->size();
    if (at < st.base) {
      out->push_back(st.previous[at - st.previousBase]);
    } else if (at < st.base + st.page.size()) {
      out->push_back(st.page[at - st.base]);
    } else if (st.cookie.empty()) {
      break;
    } else if (int rc = NextPage(st); rc != 0) {
      out->clear();
      streams.erase(it);
      return rc;
    }
  }
  const bool more = start + out->size() < st.base + st.page.size() || !st.cookie.empty();
  if (total) *total = start + out->size() + (more ? 1 : 0);
  if (!more && out->empty()) streams.erase(it);  // read to its end and asked past it
  return 0;
}

// Keeps a listing for the requests that page through it, in place of an
// older one of the same container; a few containers at a time.
const LdapStore::Impl::Listing& LdapStore::Impl::Keep(std::uint32_t parentId, std::vector<EntryInfo>&& items, Clock::time_point at) {
  listings.erase(std::remove_if(listings.begin(), listings.end(), [&](const Listing& l) { return l.parent == parentId; }),
                 listings.end());
  listings.push_front(Listing{parentId, std::move(items), at});
  if (listings.size() > kKeptListings) listings.pop_back();
  return listings.front();
}

const LdapStore::Impl::Listing* LdapStore::Impl::FindListing(std::uint32_t parentId) const {
  for (const Listing& l : listings) {
    if (l.parent == parentId) return &l;
  }
  return nullptr;
}

std::string LdapStore::Impl::ChildType(const DName& parent, std::string_view value) {
  if (value.empty()) return {};
  if (parent.IsRoot()) {
    std::vector<DName> top;
    TopBases(&top);
    for (const DName& b : top) {
      if (EqualNoCase(b.parts[0].value, value)) return b.parts[0].type;
    }
    return {};
  }
  const std::string key = ldap::NameKey(parent) + '\n' + UpperAscii(value);
  if (auto it = childTypes.find(key); it != childTypes.end() && Fresh(it->second.second)) return it->second.first;
  std::string type;
  bool known = false;
  if (auto it = entries.find(ldap::NameKey(parent)); it != entries.end()) {
    if (const Listing* l = FindListing(it->second.info.id)) {
      known = true;
      for (const EntryInfo& e : l->items) {
        if (EqualNoCase(e.name.parts.front().value, value)) {
          type = e.name.parts.front().type;
          break;
        }
      }
    }
  }
  std::string dn;
  if (!known && KnowBases() == 0 && WithinBases(parent) && ldap::NameToDn(parent, &dn)) {
    const std::string v = ldap::EscapeFilterValue(value);
    std::string filter = "(|";
    for (const char* attr : {"cn", "ou", "o", "c", "l", "st", "street", "uid"}) {
      filter += std::string("(") + attr + "=" + v + ")";
    }
    filter += ")";
    Search(dn, LDAP_SCOPE_ONELEVEL, filter, kNoAttributes, false, [&](const RawEntry& raw) {
      DName child;
      bool uidLeaf = false;
      if (type.empty() && ldap::DnToName(raw.dn, &child, &uidLeaf) && !child.IsRoot() &&
          EqualNoCase(child.parts.front().value, value)) {
        type = child.parts.front().type;
      }
    });
  }
  if (s.cacheSeconds > 0) childTypes[key] = {type, Clock::now()};
  return type;
}

}  // namespace nwc
