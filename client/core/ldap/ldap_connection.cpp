// The LDAP store's connection: opening it with the TLS settings, binding,
// waiting for results within the time-outs, dropping it when it breaks, and
// the searches, whole or page by page, that every other part makes.
#include "ldap_store_impl.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace nwc {

namespace ldap {

// A directory completion code for an LDAP result or library code.
int MapResult(int code) {
  switch (code) {
    case LDAP_SUCCESS: return 0;
    case LDAP_NO_SUCH_OBJECT: return ERR_NO_SUCH_ENTRY;
    case LDAP_NO_SUCH_ATTRIBUTE:
    case LDAP_UNDEFINED_TYPE: return ERR_NO_SUCH_ATTRIBUTE;
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INAPPROPRIATE_AUTH: return ERR_FAILED_AUTHENTICATION;
    case LDAP_INSUFFICIENT_ACCESS:
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_CONFIDENTIALITY_REQUIRED: return ERR_NO_ACCESS;
    case LDAP_INVALID_DN_SYNTAX:
    case LDAP_NAMING_VIOLATION: return ERR_ILLEGAL_DS_NAME;
    case LDAP_INVALID_SYNTAX:
    case LDAP_CONSTRAINT_VIOLATION: return ERR_SYNTAX_VIOLATION;
    case LDAP_UNWILLING_TO_PERFORM: return ERR_INVALID_REQUEST;
    case LDAP_BUSY:
    case LDAP_UNAVAILABLE:
    case LDAP_CONNECT_ERROR: return ERR_UNREACHABLE_SERVER;
    case LDAP_REFERRAL: return ERR_ALL_REFERRALS_FAILED;
    case LDAP_NO_MEMORY: return ERR_NOT_ENOUGH_MEMORY;
    case LDAP_SERVER_DOWN:
    case LDAP_TIMEOUT:
    case LDAP_ENCODING_ERROR:
    case LDAP_DECODING_ERROR:
    case LDAP_LOCAL_ERROR: return ERR_TRANSPORT_FAILURE;
    default: return ERR_SYSTEM_FAILURE;
  }
}

// Results after which the connection cannot be trusted any more.
bool LostConnection(int code) {
  return code == LDAP_SERVER_DOWN || code == LDAP_TIMEOUT || code == LDAP_CONNECT_ERROR ||
         code == LDAP_ENCODING_ERROR || code == LDAP_DECODING_ERROR || code == LDAP_LOCAL_ERROR ||
         code == LDAP_UNAVAILABLE;
}

timeval Remaining(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left < 0) left = 0;
  return timeval{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
}

bool ReadEntry(LDAP* ld, LDAPMessage* msg, RawEntry* out) {
  BerElement* ber = nullptr;
  berval dn{};
  if (ldap_get_dn_ber(ld, msg, &ber, &dn) != LDAP_SUCCESS) {
    if (ber) ber_free(ber, 0);
    return false;
  }
  out->dn.assign(dn.bv_val ? dn.bv_val : "", dn.bv_len);
  // The entry's vectors and strings are reused from one entry to the next.
  std::size_t used = 0;
  berval attr{};
  BerVarray values = nullptr;
  int rc = LDAP_SUCCESS;
  while ((rc = ldap_get_attribute_ber(ld, msg, ber, &attr, &values)) == LDAP_SUCCESS && attr.bv_val != nullptr) {
    if (used == out->attributes.size()) out->attributes.emplace_back();
    auto& a = out->attributes[used++];
    a.first.assign(attr.bv_val, attr.bv_len);
    std::size_t n = 0;
    if (values != nullptr) {
      for (BerVarray v = values; v->bv_val != nullptr; ++v, ++n) {
        if (n < a.second.size()) {
          a.second[n].assign(v->bv_val, v->bv_len);
        } else {
          a.second.emplace_back(v->bv_val, v->bv_len);
        }
      }
      ber_memfree(values);
      values = nullptr;
    }
    a.second.resize(n);
  }
  out->attributes.resize(used);
  ber_free(ber, 0);
  return rc == LDAP_SUCCESS;
}

std::optional<std::uint32_t> ParseCount(const std::string* text) {
  if (text == nullptr || text->size() > 10) return std::nullopt;
  return nwtext::ParseNumber<std::uint32_t>(*text);
}

// Whether something accepts TCP connections at the URI's host and port
// within `seconds`: tells a TLS handshake that failed from a server that is
// not there.
bool PortAnswers(const std::string& uri, int seconds) {
  LDAPURLDesc* url = nullptr;
  if (ldap_url_parse(uri.c_str(), &url) != LDAP_URL_SUCCESS || url == nullptr) return false;
  const std::string host = url->lud_host && *url->lud_host ? url->lud_host : "localhost";
  int port = url->lud_port;
  if (port == 0) port = url->lud_scheme && strcmp(url->lud_scheme, "ldaps") == 0 ? 636 : 389;
  ldap_free_urldesc(url);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool answers = false;
  for (addrinfo* a = found; a != nullptr && !answers; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      answers = true;
    } else if (errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      int err = 0;
      socklen_t len = sizeof err;
      answers = poll(&p, 1, seconds * 1000) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
    close(fd);
  }
  freeaddrinfo(found);
  return answers;
}

}  // namespace ldap

LdapStore::Impl::Impl(LdapSettings settings) : s(std::move(settings)) {
  for (const auto& [nds, l] : s.attributeMap) map.AddAttribute(nds, l, ldap::NameMap::kOverride);
  for (const auto& [nds, l] : s.classMap) map.AddClass(nds, l, ldap::NameMap::kOverride);
  for (const std::string& b : s.bases) {
    DName name;
    if (ldap::DnToName(b, &name)) bases.push_back(std::move(name));
  }
  basesKnown = !s.bases.empty();
  single = {s.uri};
  rootId = ldap::IdFromIdentifier("[Root]" + s.treeName);
}

LdapStore::Impl::~Impl() {
  NoSigPipe quiet;
  Drop();
}

void LdapStore::Impl::Drop() {
  if (ld != nullptr) {
    ldap_unbind_ext(ld, nullptr, nullptr);
    ld = nullptr;
  }
  server.clear();
  for (auto& [where, h] : referred) ldap_unbind_ext(h, nullptr, nullptr);
  referred.clear();
  meKnown = false;
  me.reset();
  ForgetReads();
}

void LdapStore::Impl::ForgetReads() {
  entries.clear();
  lightEntries.clear();
  childTypes.clear();
  listings.clear();
  counts.clear();
}

// Reads the bind password; false when it cannot be had.
bool LdapStore::Impl::BindPassword(Secret* out) const {
  if (!s.passwordEnv.empty()) {
    const char* v = std::getenv(s.passwordEnv.c_str());
    if (v == nullptr || strnlen(v, kMaxPasswordBytes + 1) > kMaxPasswordBytes) return false;
    out->text = v;
    return true;
  }
  if (!s.passwordFile.empty()) {
    std::ifstream in(s.passwordFile, std::ios::binary);
    if (!in) return false;
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxPasswordBytes) {
      WipeString(line);
      return false;
    }
    out->text = std::move(line);
    return true;
  }
  return true;  // anonymous
}

// Waits for the end of request `msgid`, handing each entry to `onEntry`.
// Returns the final message (the caller frees it), or nullptr with the
// library's code in `*code`.
LDAPMessage* LdapStore::Impl::Await(LDAP* h, int msgid, Clock::time_point deadline, const std::function<void(LDAPMessage*)>& onEntry,
                   int* code, std::vector<std::string>* references) {
  for (;;) {
    if (Clock::now() >= deadline) {
      ldap_abandon_ext(h, msgid, nullptr, nullptr);
      *code = LDAP_TIMEOUT;
      return nullptr;
    }
    timeval tv = Remaining(deadline);
    if (tv.tv_sec == 0 && tv.tv_usec == 0) tv.tv_usec = 1;
    LDAPMessage* chain = nullptr;
    const int type = ldap_result(h, msgid, LDAP_MSG_RECEIVED, &tv, &chain);
    if (type == 0) continue;
    if (type < 0 || chain == nullptr) {
      int err = LDAP_SERVER_DOWN;
      ldap_get_option(h, LDAP_OPT_RESULT_CODE, &err);
      if (err == LDAP_SUCCESS) err = LDAP_SERVER_DOWN;
      *code = err;
      return nullptr;
    }
    bool final = false;
    for (LDAPMessage* m = ldap_first_message(h, chain); m != nullptr; m = ldap_next_message(h, m)) {
      const int t = ldap_msgtype(m);
      if (t == LDAP_RES_SEARCH_ENTRY) {
        if (onEntry) onEntry(m);
      } else if (t == LDAP_RES_SEARCH_REFERENCE) {
        char** urls = nullptr;
        if (references != nullptr && ldap_parse_reference(h, m, &urls, nullptr, 0) == LDAP_SUCCESS && urls != nullptr) {
          // One reference names the same place on several servers: they
          // are kept together, separated by newlines.
          std::string one;
          for (char** u = urls; *u != nullptr; ++u) one.append(one.empty() ? "" : "\n").append(*u);
          references->push_back(std::move(one));
        }
        if (urls != nullptr) ber_memvfree(reinterpret_cast<void**>(urls));
      } else if (t != LDAP_RES_SEARCH_REFERENCE && t != LDAP_RES_INTERMEDIATE) {
        final = true;
      }
    }
    if (final) return chain;
    ldap_msgfree(chain);
  }
}

// A new handle to the server with the connection settings, connected (and
// TLS in place); a directory code on failure.
int LdapStore::Impl::Open(const std::string& uri, LDAP** out) {
  *out = nullptr;
  LDAP* h = nullptr;
  if (ldap_initialize(&h, uri.c_str()) != LDAP_SUCCESS || h == nullptr) return ERR_UNREACHABLE_SERVER;
  int version = LDAP_VERSION3;
  ldap_set_option(h, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(h, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  ldap_set_option(h, LDAP_OPT_RESTART, LDAP_OPT_ON);
  timeval tv{static_cast<time_t>(s.timeoutSeconds), 0};
  ldap_set_option(h, LDAP_OPT_NETWORK_TIMEOUT, &tv);
  ldap_set_option(h, LDAP_OPT_TIMEOUT, &tv);
  int deref = LDAP_DEREF_NEVER;
  ldap_set_option(h, LDAP_OPT_DEREF, &deref);
  if (UsesTls(uri)) {
    int require = s.verifyCertificate ? LDAP_OPT_X_TLS_DEMAND : LDAP_OPT_X_TLS_NEVER;
    ldap_set_option(h, LDAP_OPT_X_TLS_REQUIRE_CERT, &require);
    if (!s.caFile.empty()) ldap_set_option(h, LDAP_OPT_X_TLS_CACERTFILE, s.caFile.c_str());
    int server = 0;
    if (ldap_set_option(h, LDAP_OPT_X_TLS_NEWCTX, &server) != LDAP_OPT_SUCCESS) {
      ldap_unbind_ext(h, nullptr, nullptr);
      return ERR_FAILED_SERVER_AUTHENT;
    }
  }
  int rc = ldap_connect(h);
  if (rc != LDAP_SUCCESS) {
    ldap_unbind_ext(h, nullptr, nullptr);
    // A TLS handshake that fails (an untrusted certificate) ends the same
    // way as a refused connection, but the server did answer.
    if (rc != LDAP_TIMEOUT && uri.rfind("ldaps:", 0) == 0 && PortAnswers(uri, s.timeoutSeconds)) {
      return ERR_FAILED_SERVER_AUTHENT;
    }
    return ERR_UNREACHABLE_SERVER;
  }
  if (s.startTls) {
    int msgid = 0;
    rc = ldap_start_tls(h, nullptr, nullptr, &msgid);
    int code = LDAP_SUCCESS;
    LDAPMessage* res = rc == LDAP_SUCCESS ? Await(h, msgid, Deadline(), nullptr, &code) : nullptr;
    int err = rc != LDAP_SUCCESS ? rc : code;
    if (res != nullptr) {
      err = LDAP_OTHER;
      ldap_parse_result(h, res, &err, nullptr, nullptr, nullptr, nullptr, 1);
    }
    if (err == LDAP_SUCCESS) err = ldap_install_tls(h) == LDAP_SUCCESS ? LDAP_SUCCESS : LDAP_CONNECT_ERROR;
    if (err != LDAP_SUCCESS) {
      ldap_unbind_ext(h, nullptr, nullptr);
      if (err == LDAP_SERVER_DOWN || err == LDAP_TIMEOUT) return ERR_TRANSPORT_FAILURE;
      return ERR_FAILED_SERVER_AUTHENT;
    }
  }
  *out = h;
  return 0;
}

// Waits for the result of request `msgid` and parses it: LDAP_SUCCESS with
// the server's result code in `*err`, or the library's code of the failure.
int LdapStore::Impl::AwaitResult(LDAP* h, int msgid, int* err) {
  int code = LDAP_SUCCESS;
  LDAPMessage* res = Await(h, msgid, Deadline(), nullptr, &code);
  if (res == nullptr) return code;
  *err = LDAP_OTHER;
  return ldap_parse_result(h, res, err, nullptr, nullptr, nullptr, nullptr, 1);
}

// A simple bind on `h`; a directory code.
int LdapStore::Impl::Bind(LDAP* h, const std::string& dn, Secret& password) {
  // An empty password with a name is an unauthenticated bind (RFC 4513),
  // which proves nothing.
  if (!dn.empty() && password.text.empty()) return ERR_FAILED_AUTHENTICATION;
  berval cred = password.Ber();
  int msgid = 0;
  int rc = ldap_sasl_bind(h, dn.empty() ? nullptr : dn.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, &msgid);
  if (rc != LDAP_SUCCESS) return MapResult(rc);
  int err = LDAP_OTHER;
  rc = AwaitResult(h, msgid, &err);
  if (rc != LDAP_SUCCESS) return MapResult(rc);
  if (err == LDAP_SUCCESS) return 0;
  // A refused bind is a failed login whatever the reason the server gives.
  if (err == LDAP_INVALID_CREDENTIALS || err == LDAP_INAPPROPRIATE_AUTH || err == LDAP_UNWILLING_TO_PERFORM ||
      err == LDAP_INSUFFICIENT_ACCESS || err == LDAP_NO_SUCH_OBJECT) {
    return ERR_FAILED_AUTHENTICATION;
  }
  return MapResult(err);
}

int LdapStore::Impl::Connect() {
  if (ld != nullptr) return 0;
  Secret password;
  if (!BindPassword(&password)) return ERR_FAILED_AUTHENTICATION;
  // The servers hold the same data under the same settings: a server that
  // answers and refuses (a wrong password, an untrusted certificate) would
  // be refused by the others too. One that does not answer is passed by.
  int rc = ERR_UNREACHABLE_SERVER;
  for (const std::string& uri : ConnectOrder()) {
    LDAP* h = nullptr;
    if ((rc = Open(uri, &h)) == 0) {
      if ((rc = Bind(h, s.bindDn, password)) == 0) {
        ld = h;
        server = uri;
        stalled.erase(uri);
        break;
      }
      ldap_unbind_ext(h, nullptr, nullptr);
    }
    if (rc == ERR_TRANSPORT_FAILURE) stalled[uri] = Clock::now();  // connected, then no answer
    if (rc != ERR_UNREACHABLE_SERVER && rc != ERR_TRANSPORT_FAILURE) return rc;
  }
  if (ld == nullptr) return rc;
  ++connections;
  if (!schemaRead) ReadSchema();
  return ld != nullptr ? 0 : ERR_TRANSPORT_FAILURE;
}

std::vector<std::string> LdapStore::Impl::ConnectOrder() const {
  std::vector<std::string> order = Uris();
  const auto now = Clock::now();
  std::stable_partition(order.begin(), order.end(), [&](const std::string& uri) {
    auto it = stalled.find(uri);
    return it == stalled.end() || now - it->second >= kStalledHoldOff;
  });
  return order;
}

// A failed request: the connection goes when it cannot be trusted. A
// connection that breaks once open is a transport failure, whatever
// libldap calls it.
int LdapStore::Impl::Fail(int code) {
  if (!LostConnection(code)) return MapResult(code);
  if (code == LDAP_TIMEOUT && !server.empty()) stalled[server] = Clock::now();
  Drop();
  return code == LDAP_UNAVAILABLE ? ERR_UNREACHABLE_SERVER : ERR_TRANSPORT_FAILURE;
}

// One search, page by page when `paged`; each entry goes to `onEntry`. A
// connection kept from earlier calls may have died in between (a server
// restarted): a search that finds it so before any entry arrived is made
// once more on a new connection.
// `observe`: a listing, whose pages the page observer sees.
int LdapStore::Impl::Search(const std::string& base, int scope, const std::string& filter, const char* const* attrs, bool paged,
           const std::function<void(const RawEntry&)>& onEntry, bool observe) {
  const bool reused = ld != nullptr;
  bool delivered = false;
  const int rc = SearchOnce(base, scope, filter, attrs, paged, onEntry, observe, &delivered);
  if (rc == ERR_TRANSPORT_FAILURE && reused && !delivered && ld == nullptr) {
    return SearchOnce(base, scope, filter, attrs, paged, onEntry, observe, &delivered);
  }
  return rc;
}

int LdapStore::Impl::SearchOnce(const std::string& base, int scope, const std::string& filter, const char* const* attrs, bool paged,
               const std::function<void(const RawEntry&)>& onEntry, bool observe, bool* delivered) {
  if (int rc = Connect(); rc != 0) return rc;
  std::string cookie;
  std::size_t pages = 0;
  listed = 0;
  // A paged search ends within its bound, and a server that hands back a
  // cookie it gave before would page forever.
  const Clock::time_point listEnd = Clock::now() + std::chrono::seconds(s.listTimeLimitSeconds);
  std::set<std::string> cookies;
  for (;;) {
    const std::size_t before = listed;
    if (int rc = SearchPage(base, scope, filter, attrs, paged ? &cookie : nullptr, paged ? listEnd : Deadline(), onEntry,
                            delivered);
        rc != 0) {
      return rc;
    }
    ++pages;
    if (observe && pageObserver) {
      pageObserver(pages);
      if (ld == nullptr) return ERR_TRANSPORT_FAILURE;
    }
    if (!paged || cookie.empty()) return 0;
    if (int rc = CheckPaging(cookie, listEnd, &cookies, listed > before); rc != 0) return rc;
  }
}

// After a page that asks for more: a page that brought nothing with a
// cookie given before, or a listing past its bound, ends it. A cookie given
// again is no fault by itself: 389 Directory Server gives the same one for
// every page of a search. The server still holds the search, so the
// connection goes with it.
int LdapStore::Impl::CheckPaging(const std::string& cookie, Clock::time_point listEnd, std::set<std::string>* cookies,
                                 bool progressed) {
  const bool fresh = cookies->insert(cookie).second;
  if ((fresh || progressed) && Clock::now() < listEnd) return 0;
  Drop();
  return ERR_TRANSPORT_FAILURE;
}

// One request of a search: all of it, or with `cookie` the page that
// cookie asks for (empty: the first page), `cookie` then set to the
// server's cookie for the next one (empty: that was the last). Each
// request waits no longer than the time-out, nor past `end`.
int LdapStore::Impl::SearchPage(const std::string& base, int scope, const std::string& filter, const char* const* attrs,
               std::string* cookie, Clock::time_point end, const std::function<void(const RawEntry&)>& onEntry,
               bool* delivered, int pageSize) {
  int msgid = 0;
  if (int rc = SendPage(base, scope, filter, attrs, cookie, pageSize, &msgid); rc != 0) return rc;
  return CollectPage(msgid, base, scope, filter, attrs, cookie, end, onEntry, delivered);
}

int LdapStore::Impl::SendPage(const std::string& base, int scope, const std::string& filter, const char* const* attrs,
                              const std::string* cookie, int pageSize, int* msgid) {
  if (cookie != nullptr) {
    // A page another listing asked for ahead is let go, so that it cannot
    // take the paging state after this request; that listing reads again.
    for (Stream& other : streams) {
      if (other.ahead != 0 && other.token != sendingFor) {
        ldap_abandon_ext(ld, std::exchange(other.ahead, 0), nullptr, nullptr);
      }
    }
  }
  LDAPControl* page = nullptr;
  LDAPControl* controls[2] = {nullptr, nullptr};
  if (cookie != nullptr) {
    berval c{cookie->size(), const_cast<char*>(cookie->data())};
    const ber_int_t size = static_cast<ber_int_t>(pageSize < 0 ? s.pageSize : pageSize);
    int rc = ldap_create_page_control(ld, size, cookie->empty() ? nullptr : &c, 0, &page);
    if (rc != LDAP_SUCCESS) return Fail(rc);
    controls[0] = page;
  }
  int rc = ldap_search_ext(ld, base.c_str(), scope, filter.c_str(), const_cast<char**>(attrs), 0,
                           cookie != nullptr ? controls : nullptr, nullptr, nullptr, LDAP_NO_LIMIT, msgid);
  if (page != nullptr) ldap_control_free(page);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  if (cookie != nullptr) pagedBy = sendingFor;
  return 0;
}

int LdapStore::Impl::CollectPage(int msgid, const std::string& base, int scope, const std::string& filter,
                                 const char* const* attrs, std::string* cookie, Clock::time_point end,
                                 const std::function<void(const RawEntry&)>& onEntry, bool* delivered) {
  int rc = LDAP_SUCCESS;
  int code = LDAP_SUCCESS;
  RawEntry raw;
  std::vector<std::string> references;
  LDAPMessage* res = Await(
      ld, msgid, std::min(Deadline(), end),
      [&](LDAPMessage* m) {
        *delivered = true;
        ++listed;
        if (ReadEntry(ld, m, &raw)) onEntry(raw);
      },
      &code, &references);
  if (res == nullptr) return Fail(code);
  int err = LDAP_OTHER;
  LDAPControl** serverControls = nullptr;
  char** referrals = nullptr;
  rc = ldap_parse_result(ld, res, &err, nullptr, nullptr, &referrals, &serverControls, 1);
  if (rc != LDAP_SUCCESS) return Fail(rc);
  std::vector<std::string> urls;
  if (referrals != nullptr) {
    for (char** u = referrals; *u != nullptr; ++u) urls.emplace_back(*u);
    ber_memvfree(reinterpret_cast<void**>(referrals));
  }
  if (err == LDAP_REFERRAL) {
    // The base is held by another server: the whole search goes on there.
    if (serverControls != nullptr) ldap_controls_free(serverControls);
    if (cookie != nullptr) cookie->clear();
    std::set<std::string> seen;
    const int followed = FollowSearch(urls, base, scope, filter, attrs, onEntry, 0, &seen);
    if (followed == 0) *delivered = true;
    return followed;
  }
  if (cookie != nullptr) cookie->clear();
  if (serverControls != nullptr) {
    if (LDAPControl* pr = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, serverControls, nullptr); pr && cookie) {
      ber_int_t estimate = 0;
      berval next{};
      if (ldap_parse_pageresponse_control(ld, pr, &estimate, &next) == LDAP_SUCCESS && next.bv_val != nullptr) {
        cookie->assign(next.bv_val, next.bv_len);
        ldap_memfree(next.bv_val);
      }
    }
    ldap_controls_free(serverControls);
  }
  if (err != LDAP_SUCCESS) {
    Explain(err);
    return Fail(err);
  }
  if (references.empty() || NamesFromReferences(&references, scope, attrs, onEntry)) return 0;
  std::set<std::string> seen;
  return FollowReferences(references, base, scope, filter, attrs, onEntry, 0, &seen);
}

void LdapStore::Impl::Explain(int ldapResult) const {
  const char* what = nullptr;
  switch (ldapResult) {
    case LDAP_ADMINLIMIT_EXCEEDED: what = "the server's look-through/size limit"; break;
    case LDAP_SIZELIMIT_EXCEEDED: what = "the server's size limit"; break;
    case LDAP_TIMELIMIT_EXCEEDED: what = "the server's time limit"; break;
    case LDAP_CONFIDENTIALITY_REQUIRED:
    case LDAP_STRONG_AUTH_REQUIRED:
      std::fprintf(stderr, "nwclient: %s: the server requires TLS for this; set startTLS or use ldaps (LDAP result %d)\n",
                   (server.empty() ? s.uri : server).c_str(), ldapResult);
      return;
    default: return;
  }
  std::fprintf(stderr, "nwclient: %s: %s stopped the listing after %zu entries (LDAP result %d)\n", (server.empty() ? s.uri : server).c_str(),
               what, listed, ldapResult);
}

// The one entry at `dn` (base search); ERR_NO_SUCH_ENTRY when absent.
int LdapStore::Impl::ReadOne(const std::string& dn, const char* const* attrs, RawEntry* out) {
  bool found = false;
  int rc = Search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", attrs, false, [&](const RawEntry& e) {
    if (!found) *out = e;
    found = true;
  });
  if (rc != 0) return rc;
  return found ? 0 : ERR_NO_SUCH_ENTRY;
}

std::string LdapStore::ServerUri() const {
  Impl::Call call(*impl_);
  return impl_->server;
}

int LdapStore::Impl::Me(std::optional<DName>* out) {
  if (int rc = Connect(); rc != 0) return rc;
  if (!meKnown) {
    int msgid = 0;
    int rc = ldap_whoami(ld, nullptr, nullptr, &msgid);
    if (rc != LDAP_SUCCESS) return Fail(rc);
    int code = LDAP_SUCCESS;
    LDAPMessage* res = Await(ld, msgid, Deadline(), nullptr, &code);
    if (res == nullptr) return Fail(code);
    berval* authzid = nullptr;
    int err = LDAP_OTHER;
    rc = ldap_parse_result(ld, res, &err, nullptr, nullptr, nullptr, nullptr, 0);
    if (rc == LDAP_SUCCESS && err == LDAP_SUCCESS) rc = ldap_parse_whoami(ld, res, &authzid);
    ldap_msgfree(res);
    me.reset();
    if (rc == LDAP_SUCCESS && err == LDAP_SUCCESS) {
      std::string text = authzid && authzid->bv_val ? std::string(authzid->bv_val, authzid->bv_len) : std::string();
      DName name;
      if (text.rfind("dn:", 0) == 0 && ldap::DnToName(std::string_view(text).substr(3), &name) && !name.IsRoot()) {
        me = std::move(name);
      }
    } else if (LostConnection(rc)) {
      if (authzid) ber_bvfree(authzid);
      return Fail(rc);
    } else {
      // A server without the operation: the identity bound is the one.
      DName name;
      if (!s.bindDn.empty() && ldap::DnToName(s.bindDn, &name) && !name.IsRoot()) me = std::move(name);
    }
    if (authzid) ber_bvfree(authzid);
    meKnown = true;
  }
  *out = me;
  return 0;
}

}  // namespace nwc
