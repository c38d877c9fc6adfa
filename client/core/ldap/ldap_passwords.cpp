// The LDAP store's identity and passwords: who the connection is bound as,
// setting and changing a user's password, and checking one by a bind.
#include "ldap_store_impl.h"

namespace nwc {

// The target of a password operation: a User the login may address.
int LdapStore::Impl::PasswordTarget(std::uint32_t id, std::string* dn) {
  std::optional<DName> who;
  if (int rc = Me(&who); rc != 0) return rc;
  if (!who) return ERR_NOT_LOGGED_IN;
  EntryInfo info;
  if (int rc = ById(id, &info, kLight); rc != 0) return rc;
  if (info.baseClass != "User") return ERR_ILLEGAL_ATTRIBUTE;
  if (!DnOf(info.name, dn)) return ERR_NO_SUCH_ENTRY;
  return 0;
}

// Password Modify (RFC 3062) on `h`.
int LdapStore::Impl::PasswordModifyOn(LDAP* h, const std::string& dn, Secret* oldPassword, Secret& newPassword,
                                      int* err, std::vector<std::string>* refs) {
  berval user{dn.size(), const_cast<char*>(dn.data())};
  berval oldBer = oldPassword ? oldPassword->Ber() : berval{};
  berval newBer = newPassword.Ber();
  int msgid = 0;
  int rc = ldap_passwd(h, &user, oldPassword ? &oldBer : nullptr, &newBer, nullptr, nullptr, &msgid);
  if (rc != LDAP_SUCCESS) return rc;
  return AwaitWrite(h, msgid, err, refs);
}

int LdapStore::Impl::AwaitWrite(LDAP* h, int msgid, int* err, std::vector<std::string>* refs) {
  int code = LDAP_SUCCESS;
  LDAPMessage* res = Await(h, msgid, Deadline(), nullptr, &code);
  if (res == nullptr) return code;
  *err = LDAP_OTHER;
  char** referrals = nullptr;
  const int rc = ldap_parse_result(h, res, err, nullptr, nullptr, &referrals, nullptr, 1);
  if (referrals != nullptr) {
    for (char** u = referrals; *u != nullptr; ++u) refs->emplace_back(*u);
    ber_memvfree(reinterpret_cast<void**>(referrals));
  }
  return rc;
}

// Password Modify on the connection, or where it is referred; the LDAP
// result code in `*ldapCode`, a directory code returned.
int LdapStore::Impl::PasswordModify(const std::string& dn, Secret* oldPassword, Secret& newPassword, int* ldapCode) {
  return Write(
      [&](LDAP* h, int* err, std::vector<std::string>* refs) {
        return PasswordModifyOn(h, dn, oldPassword, newPassword, err, refs);
      },
      ldapCode);
}

int LdapStore::Impl::Write(const std::function<int(LDAP*, int*, std::vector<std::string>*)>& send, int* ldapCode) {
  int err = LDAP_OTHER;
  std::vector<std::string> refs;
  int rc = send(ld, &err, &refs);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  // A read-only replica names the server that takes writes: the change is
  // made there, bound as the same identity, or not at all.
  std::set<std::string> seen;
  for (int hops = 0; err == LDAP_REFERRAL; ++hops) {
    if (!ReferralsAllowed()) return ERR_NO_REFERRALS;
    if (hops >= kMaxReferralHops) return ERR_ALL_REFERRALS_FAILED;
    std::vector<std::string> urls;
    urls.swap(refs);
    int result = ERR_ALL_REFERRALS_FAILED;
    bool sent = false;
    for (const std::string& url : urls) {
      LDAPURLDesc* d = nullptr;
      if (ldap_url_parse(url.c_str(), &d) != LDAP_URL_SUCCESS || d == nullptr) continue;
      const std::string scheme = d->lud_scheme ? d->lud_scheme : "";
      const std::string host = d->lud_host ? d->lud_host : "";
      const int port = d->lud_port != 0 ? d->lud_port : scheme == "ldaps" ? 636 : 389;
      ldap_free_urldesc(d);
      if ((scheme != "ldap" && scheme != "ldaps") || host.empty()) continue;
      const std::string server = scheme + "://" + host + ":" + std::to_string(port);
      if (!seen.insert(server).second) continue;  // back where it was sent before: a loop
      const bool reused = referred.count(server) != 0;
      LDAP* h = nullptr;
      if ((result = Referred(server, &h)) != 0) continue;
      err = LDAP_OTHER;
      rc = send(h, &err, &refs);
      if (rc == LDAP_SERVER_DOWN && reused) {
        // A connection kept from before, found closed: the request never
        // reached a server. Once more on a new connection.
        ldap_unbind_ext(h, nullptr, nullptr);
        referred.erase(server);
        if ((result = Referred(server, &h)) != 0) continue;
        err = LDAP_OTHER;
        refs.clear();
        rc = send(h, &err, &refs);
      }
      if (rc != LDAP_SUCCESS) {
        // Gone while it was asked: whether the change was made is unknown
        // to the client, as on a connection of its own.
        ldap_unbind_ext(h, nullptr, nullptr);
        referred.erase(server);
        return LostConnection(rc) ? ERR_TRANSPORT_FAILURE : MapResult(rc);
      }
      sent = true;
      break;
    }
    if (!sent) return result;
  }
  *ldapCode = err;
  Explain(err);
  return MapResult(err);
}

// Removes an object's password (an empty new password).
int LdapStore::Impl::ClearPassword(const std::string& dn) {
  int ldapCode = LDAP_SUCCESS;
  const int rc = Write(
      [&](LDAP* h, int* err, std::vector<std::string>* refs) {
        char type[] = "userPassword";
        LDAPMod mod{};
        mod.mod_op = LDAP_MOD_DELETE;
        mod.mod_type = type;
        LDAPMod* mods[] = {&mod, nullptr};
        int msgid = 0;
        int sent = ldap_modify_ext(h, dn.c_str(), mods, nullptr, nullptr, &msgid);
        if (sent != LDAP_SUCCESS) return sent;
        return AwaitWrite(h, msgid, err, refs);
      },
      &ldapCode);
  if (ldapCode == LDAP_NO_SUCH_ATTRIBUTE) return 0;  // it had none
  return rc;
}

// Whether `password` is the password of `dn`: a bind on a connection of
// its own.
int LdapStore::Impl::Verify(const std::string& dn, std::string_view password) {
  Secret secret(password, s.upperCasePasswords);
  if (secret.text.empty() || secret.text.size() > kMaxPasswordBytes) return ERR_FAILED_AUTHENTICATION;
  LDAP* h = nullptr;
  // The server in use, else the first that answers.
  int rc = ERR_UNREACHABLE_SERVER;
  for (const std::string& uri : server.empty() ? Uris() : std::vector<std::string>{server}) {
    if ((rc = Open(uri, &h)) == 0 || (rc != ERR_UNREACHABLE_SERVER && rc != ERR_TRANSPORT_FAILURE)) break;
  }
  if (rc != 0) return rc;
  rc = Bind(h, dn, secret);
  ldap_unbind_ext(h, nullptr, nullptr);
  return rc;
}

int LdapStore::Impl::SetPw(std::uint32_t id, std::string_view newPassword) {
  std::string dn;
  if (int rc = PasswordTarget(id, &dn); rc != 0) return rc;
  Secret secret(newPassword, s.upperCasePasswords);
  if (secret.text.size() > kMaxPasswordBytes) return ERR_SYNTAX_VIOLATION;
  int ldapCode = LDAP_SUCCESS;
  const int rc = secret.text.empty() ? ClearPassword(dn) : PasswordModify(dn, nullptr, secret, &ldapCode);
  ForgetReads();
  return rc;
}

int LdapStore::Impl::ChangePw(std::uint32_t id, std::string_view oldPassword, std::string_view newPassword) {
  std::string dn;
  if (int rc = PasswordTarget(id, &dn); rc != 0) return rc;
  Secret oldSecret(oldPassword, s.upperCasePasswords);
  Secret newSecret(newPassword, s.upperCasePasswords);
  if (newSecret.text.size() > kMaxPasswordBytes || oldSecret.text.size() > kMaxPasswordBytes) {
    return ERR_SYNTAX_VIOLATION;
  }
  int rc = 0;
  if (newSecret.text.empty() || oldSecret.text.empty()) {
    // The server cannot take these with the old password; check it first.
    if ((rc = Verify(dn, oldPassword)) == 0) rc = newSecret.text.empty() ? ClearPassword(dn) : 0;
    if (rc == 0 && !newSecret.text.empty()) {
      int code = LDAP_SUCCESS;
      rc = PasswordModify(dn, nullptr, newSecret, &code);
    }
  } else {
    int code = LDAP_SUCCESS;
    rc = PasswordModify(dn, &oldSecret, newSecret, &code);
    // The server refuses a wrong old password in its own words; a bind
    // tells which it was.
    if (rc != 0 && code != LDAP_INSUFFICIENT_ACCESS && !LostConnection(code) && ld != nullptr) {
      const int verified = Verify(dn, oldPassword);
      if (verified != 0) rc = verified;
    }
  }
  ForgetReads();
  return rc;
}

}  // namespace nwc
