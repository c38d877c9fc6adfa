// The LDAP store's referrals: search continuation references in a listing
// and referral results, followed to the servers they name with the store's
// own identity and TLS settings, within a hop limit and never twice to the
// same place.
#include "ldap_store_impl.h"

#include <string.h>

namespace nwc {

// A one-level search for names only (counting, naming types) takes a
// reference's name as it stands: nothing else of the entry is asked for, so
// its server need not be.
bool LdapStore::Impl::NamesFromReferences(std::vector<std::string>* refs, int scope, const char* const* attrs,
                                          const std::function<void(const RawEntry&)>& onEntry) {
  const bool namesOnly = attrs != nullptr && attrs[0] != nullptr && strcmp(attrs[0], LDAP_NO_ATTRS) == 0 && attrs[1] == nullptr;
  if (scope != LDAP_SCOPE_ONELEVEL || !namesOnly) return false;
  RawEntry raw;
  for (const std::string& ref : *refs) {
    LDAPURLDesc* d = nullptr;
    const std::string first = ref.substr(0, ref.find('\n'));
    if (ldap_url_parse(first.c_str(), &d) == LDAP_URL_SUCCESS && d != nullptr && d->lud_dn != nullptr && *d->lud_dn) {
      raw.dn = d->lud_dn;
      onEntry(raw);
    }
    if (d != nullptr) ldap_free_urldesc(d);
  }
  refs->clear();
  return true;
}

// ---- referrals ----

namespace {

// The server part of an LDAP URL (scheme://host:port) and the rest of it.
struct ReferralUrl {
  std::string server;
  std::string dn;
  int scope = -1;  // none given
};

bool ParseReferral(const std::string& url, ReferralUrl* out) {
  LDAPURLDesc* d = nullptr;
  if (ldap_url_parse(url.c_str(), &d) != LDAP_URL_SUCCESS || d == nullptr) return false;
  const std::string scheme = d->lud_scheme ? d->lud_scheme : "";
  const bool ok = (scheme == "ldap" || scheme == "ldaps") && d->lud_host != nullptr && *d->lud_host != '\0';
  if (ok) {
    const int port = d->lud_port != 0 ? d->lud_port : scheme == "ldaps" ? 636 : 389;
    out->server = scheme + "://" + d->lud_host + ":" + std::to_string(port);
    out->dn = d->lud_dn ? d->lud_dn : "";
    out->scope = d->lud_scope;
  }
  ldap_free_urldesc(d);
  return ok;
}

}  // namespace

int LdapStore::Impl::Referred(const std::string& server, LDAP** out) {
  if (auto it = referred.find(server); it != referred.end()) {
    *out = it->second;
    return 0;
  }
  Secret password;
  if (!BindPassword(&password)) return ERR_FAILED_AUTHENTICATION;
  LDAP* h = nullptr;
  if (int rc = Open(server, &h); rc != 0) return rc;
  if (int rc = Bind(h, s.bindDn, password); rc != 0) {
    ldap_unbind_ext(h, nullptr, nullptr);
    return rc;
  }
  referred[server] = h;
  *out = h;
  return 0;
}

int LdapStore::Impl::FollowSearch(const std::vector<std::string>& urls, const std::string& base, int scope,
                                  const std::string& filter, const char* const* attrs,
                                  const std::function<void(const RawEntry&)>& onEntry, int hops,
                                  std::set<std::string>* seen) {
  if (!ReferralsAllowed()) return ERR_NO_REFERRALS;
  if (hops >= kMaxReferralHops) return ERR_ALL_REFERRALS_FAILED;
  int rc = ERR_ALL_REFERRALS_FAILED;
  for (const std::string& url : urls) {
    ReferralUrl r;
    if (!ParseReferral(url, &r)) continue;
    const std::string dn = r.dn.empty() ? base : r.dn;
    const int at = r.scope >= 0 ? r.scope : scope;
    // The same search at the same place again: a loop.
    if (!seen->insert(nwtext::LowerAscii(r.server) + "/" + nwtext::LowerAscii(dn) + "?" + std::to_string(at) + "?" + filter).second) {
      rc = ERR_ALL_REFERRALS_FAILED;
      continue;
    }
    // A connection kept from an earlier referral may have died in between:
    // the search is made once more on a new one before the next URL.
    bool delivered = false;
    auto counted = [&](const RawEntry& e) {
      delivered = true;
      onEntry(e);
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
      const bool reused = referred.count(r.server) != 0;
      LDAP* h = nullptr;
      if ((rc = Referred(r.server, &h)) != 0) break;
      rc = SearchAt(h, dn, at, filter, attrs, counted, hops + 1, seen);
      if (rc != ERR_TRANSPORT_FAILURE && rc != ERR_UNREACHABLE_SERVER) return rc;
      // That server went away: its connection goes.
      if (auto it = referred.find(r.server); it != referred.end() && it->second == h) {
        ldap_unbind_ext(h, nullptr, nullptr);
        referred.erase(it);
      }
      if (!reused || delivered) break;
    }
    if (delivered) return rc;
  }
  return rc;
}

int LdapStore::Impl::FollowReferences(const std::vector<std::string>& refs, const std::string& base, int scope,
                                      const std::string& filter, const char* const* attrs,
                                      const std::function<void(const RawEntry&)>& onEntry, int hops,
                                      std::set<std::string>* seen) {
  // Below a one-level search a reference stands for one entry (RFC 4511
  // 4.5.3): searched by itself where its URL does not say.
  const int next = scope == LDAP_SCOPE_ONELEVEL ? LDAP_SCOPE_BASE : scope;
  for (const std::string& ref : refs) {
    std::vector<std::string> urls;
    for (std::size_t pos = 0; pos <= ref.size();) {
      const std::size_t end = std::min(ref.find('\n', pos), ref.size());
      urls.push_back(ref.substr(pos, end - pos));
      pos = end + 1;
    }
    if (int rc = FollowSearch(urls, base, next, filter, attrs, onEntry, hops, seen); rc != 0) return rc;
  }
  return 0;
}

int LdapStore::Impl::SearchAt(LDAP* h, const std::string& base, int scope, const std::string& filter,
                              const char* const* attrs, const std::function<void(const RawEntry&)>& onEntry, int hops,
                              std::set<std::string>* seen) {
  const Clock::time_point listEnd = Clock::now() + std::chrono::seconds(s.listTimeLimitSeconds);
  std::string cookie;
  std::set<std::string> cookies;
  std::vector<std::string> references;
  RawEntry raw;
  for (;;) {
    std::size_t got = 0;
    LDAPControl* page = nullptr;
    berval c{cookie.size(), cookie.data()};
    int rc = ldap_create_page_control(h, static_cast<ber_int_t>(s.pageSize), cookie.empty() ? nullptr : &c, 0, &page);
    if (rc != LDAP_SUCCESS) return MapResult(rc);
    LDAPControl* controls[2] = {page, nullptr};
    int msgid = 0;
    rc = ldap_search_ext(h, base.c_str(), scope, filter.c_str(), const_cast<char**>(attrs), 0, controls, nullptr, nullptr,
                         LDAP_NO_LIMIT, &msgid);
    ldap_control_free(page);
    if (rc != LDAP_SUCCESS) return LostConnection(rc) ? ERR_TRANSPORT_FAILURE : MapResult(rc);
    int code = LDAP_SUCCESS;
    LDAPMessage* res = Await(
        h, msgid, std::min(Deadline(), listEnd),
        [&](LDAPMessage* m) {
          ++got;
          if (ReadEntry(h, m, &raw)) onEntry(raw);
        },
        &code, &references);
    if (res == nullptr) return LostConnection(code) ? ERR_TRANSPORT_FAILURE : MapResult(code);
    int err = LDAP_OTHER;
    LDAPControl** serverControls = nullptr;
    char** referrals = nullptr;
    rc = ldap_parse_result(h, res, &err, nullptr, nullptr, &referrals, &serverControls, 1);
    std::vector<std::string> urls;
    if (referrals != nullptr) {
      for (char** u = referrals; *u != nullptr; ++u) urls.emplace_back(*u);
      ber_memvfree(reinterpret_cast<void**>(referrals));
    }
    cookie.clear();
    if (serverControls != nullptr) {
      if (LDAPControl* pr = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, serverControls, nullptr)) {
        ber_int_t estimate = 0;
        berval next{};
        if (ldap_parse_pageresponse_control(h, pr, &estimate, &next) == LDAP_SUCCESS && next.bv_val != nullptr) {
          cookie.assign(next.bv_val, next.bv_len);
          ldap_memfree(next.bv_val);
        }
      }
      ldap_controls_free(serverControls);
    }
    if (rc != LDAP_SUCCESS) return ERR_TRANSPORT_FAILURE;
    if (err == LDAP_REFERRAL) return FollowSearch(urls, base, scope, filter, attrs, onEntry, hops, seen);
    if (err != LDAP_SUCCESS) return LostConnection(err) ? ERR_TRANSPORT_FAILURE : MapResult(err);
    if (cookie.empty()) break;
    // A page that brought nothing with a cookie given before, or a listing
    // past its bound, would page forever (389 gives one cookie for every
    // page, which is no fault).
    const bool fresh = cookies.insert(cookie).second;
    if ((!fresh && got == 0) || Clock::now() >= listEnd) return ERR_TRANSPORT_FAILURE;
  }
  if (NamesFromReferences(&references, scope, attrs, onEntry)) return 0;
  return FollowReferences(references, base, scope, filter, attrs, onEntry, hops, seen);
}

}  // namespace nwc
