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

// Password Modify (RFC 3062) on the connection; the LDAP result code in
// `*ldapCode`, a directory code returned.
int LdapStore::Impl::PasswordModify(const std::string& dn, Secret* oldPassword, Secret& newPassword, int* ldapCode) {
  berval user{dn.size(), const_cast<char*>(dn.data())};
  berval oldBer = oldPassword ? oldPassword->Ber() : berval{};
  berval newBer = newPassword.Ber();
  int msgid = 0;
  int rc = ldap_passwd(ld, &user, oldPassword ? &oldBer : nullptr, &newBer, nullptr, nullptr, &msgid);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  int err = LDAP_OTHER;
  rc = AwaitResult(ld, msgid, &err);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  *ldapCode = err;
  Explain(err);
  return MapResult(err);
}

// Removes an object's password (an empty new password).
int LdapStore::Impl::ClearPassword(const std::string& dn) {
  char type[] = "userPassword";
  LDAPMod mod{};
  mod.mod_op = LDAP_MOD_DELETE;
  mod.mod_type = type;
  LDAPMod* mods[] = {&mod, nullptr};
  int msgid = 0;
  int rc = ldap_modify_ext(ld, dn.c_str(), mods, nullptr, nullptr, &msgid);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  int err = LDAP_OTHER;
  rc = AwaitResult(ld, msgid, &err);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  if (err == LDAP_NO_SUCH_ATTRIBUTE) return 0;  // it had none
  Explain(err);
  return MapResult(err);
}

// Whether `password` is the password of `dn`: a bind on a connection of
// its own.
int LdapStore::Impl::Verify(const std::string& dn, std::string_view password) {
  Secret secret(password, s.upperCasePasswords);
  if (secret.text.empty() || secret.text.size() > kMaxPasswordBytes) return ERR_FAILED_AUTHENTICATION;
  LDAP* h = nullptr;
  if (int rc = Open(&h); rc != 0) return rc;
  int rc = Bind(h, dn, secret);
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
