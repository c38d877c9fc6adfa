// The directory store over a live LDAP server.
//
// One connection, opened on first use and bound as the configured identity;
// a call that finds it broken (server gone, time-out) drops it and fails, and
// the next call connects again. Every request waits at most the configured
// time-out. Names, entry IDs and listings read are kept for reuse:
// - entry IDs for good (an ID must keep naming its entry for the session),
// - entries and child types for `cacheSeconds`,
// - a container's listing from the request at position 0 for the requests
//   that page through it, for a few containers at a time.
// Writes and lost connections drop the entries and listings.
#include "ldap_store.h"

#include <fcntl.h>
#include <ldap.h>
#include <ldap_schema.h>
#include <netdb.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fstream>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "common/nwtext.h"
#include "nwclient.h"
#include "password.h"
#include "schema.h"

namespace nwc {

namespace {

using Clock = std::chrono::steady_clock;
using ldap::RawEntry;

// What a listing or a look-up asks for each entry.
const char* const kEntryAttributes[] = {"objectClass",     "structuralObjectClass", "entryUUID",
                                        "GUID",            "hasSubordinates",       "subordinateCount",
                                        "numSubordinates", "modifyTimestamp",       "aliasedObjectName",
                                        nullptr};
const char* const kNoAttributes[] = {LDAP_NO_ATTRS, nullptr};

constexpr std::size_t kKeptListings = 4;
// Listings read page by page at once; the least recently used one beyond
// is abandoned.
constexpr std::size_t kOpenListings = 8;
constexpr std::size_t kMaxPasswordBytes = 1024;

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

// A password as the client sends it, in a string that is wiped on release.
struct Secret {
  std::string text;
  Secret() = default;
  Secret(std::string_view clear, bool upper) : text(clear) {
    if (upper) nwtext::UpperInPlace(text);
  }
  Secret(const Secret&) = delete;
  Secret& operator=(const Secret&) = delete;
  ~Secret() { WipeString(text); }
  berval Ber() { return berval{text.size(), text.data()}; }
};

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

// libldap writes to its sockets with write(): a server that went away would
// raise SIGPIPE and end the program. The signal is held back on this thread
// for the length of a call and a SIGPIPE the call caused is taken off.
class NoSigPipe {
 public:
  NoSigPipe() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
  }
  ~NoSigPipe() {
    if (!wasPending_) {
      sigset_t pending;
      sigemptyset(&pending);
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        const timespec none{0, 0};
        sigtimedwait(&pipe_, nullptr, &none);
      }
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  NoSigPipe(const NoSigPipe&) = delete;
  NoSigPipe& operator=(const NoSigPipe&) = delete;

 private:
  sigset_t pipe_{}, saved_{};
  bool wasPending_ = false;
};

// One follow-up an entry needs once its search is over.
struct Followup {
  std::size_t index;
  std::string aliasDn;     // alias: the object it names
  bool countChildren = false;
};

}  // namespace

struct LdapStore::Impl {
  LdapSettings s;
  ldap::NameMap map;
  std::vector<DName> bases;  // from the settings, else from the server
  bool basesKnown = false;
  bool schemaRead = false;
  std::uint32_t rootId = 0;
  std::uint32_t created = static_cast<std::uint32_t>(std::time(nullptr));

  mutable std::recursive_mutex mutex;
  LDAP* ld = nullptr;
  std::optional<DName> me;
  bool meKnown = false;

  // Entry IDs, stable for the life of the store: for each ID the entry's
  // identifier (a 64-bit hash of it) and its DN as the server spells it.
  struct Known {
    std::uint64_t key;
    std::string dn;
  };
  std::unordered_map<std::uint32_t, Known> known;

  struct CachedEntry {
    EntryInfo info;
    Clock::time_point at;
  };
  std::unordered_map<std::string, CachedEntry> entries;  // by NameKey
  std::unordered_map<std::string, std::pair<std::string, Clock::time_point>> childTypes;
  struct Listing {
    std::uint32_t parent;
    std::vector<EntryInfo> items;
    Clock::time_point at;
  };
  std::unordered_map<std::uint32_t, std::pair<std::uint32_t, Clock::time_point>> counts;
  std::deque<Listing> listings;  // newest first
  // A listing read page by page for the requests that go on through it:
  // only the page at hand is held.
  struct Stream {
    std::uint32_t parent = 0;
    std::string dn;
    std::string cookie;             // for the next page; empty: the page at hand is the last
    std::set<std::string> cookies;  // every cookie the server gave
    Clock::time_point end;          // the listing's bound
    std::uint64_t connection = 0;   // the connection the search runs on
    std::size_t pages = 0;
    std::size_t base = 0;           // position of the page's first entry
    std::vector<EntryInfo> page;
  };
  std::list<Stream> streams;  // most recently used first
  std::uint64_t connections = 0;  // connections made so far
  std::function<void(std::size_t)> pageObserver;

  explicit Impl(LdapSettings settings) : s(std::move(settings)) {
    for (const auto& [nds, l] : s.attributeMap) map.AddAttribute(nds, l, ldap::NameMap::kOverride);
    for (const auto& [nds, l] : s.classMap) map.AddClass(nds, l, ldap::NameMap::kOverride);
    for (const std::string& b : s.bases) {
      DName name;
      if (ldap::DnToName(b, &name)) bases.push_back(std::move(name));
    }
    basesKnown = !s.bases.empty();
    rootId = ldap::IdFromIdentifier("[Root]" + s.treeName);
  }

  ~Impl() {
    NoSigPipe quiet;
    Drop();
  }

  // What every call of the store holds: the store to itself, and SIGPIPE off.
  struct Call {
    std::lock_guard<std::recursive_mutex> lock;
    NoSigPipe quiet;
    explicit Call(Impl& impl) : lock(impl.mutex) {}
  };

  // ---- the connection ----

  Clock::time_point Deadline() const { return Clock::now() + std::chrono::seconds(s.timeoutSeconds); }

  void Drop() {
    if (ld != nullptr) {
      ldap_unbind_ext(ld, nullptr, nullptr);
      ld = nullptr;
    }
    meKnown = false;
    me.reset();
    ForgetReads();
  }

  void ForgetReads() {
    entries.clear();
    childTypes.clear();
    listings.clear();
    counts.clear();
  }

  bool UsesTls() const { return s.startTls || s.uri.rfind("ldaps:", 0) == 0; }

  // Reads the bind password; false when it cannot be had.
  bool BindPassword(Secret* out) const {
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
  LDAPMessage* Await(LDAP* h, int msgid, Clock::time_point deadline, const std::function<void(LDAPMessage*)>& onEntry,
                     int* code) {
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
  int Open(LDAP** out) {
    *out = nullptr;
    LDAP* h = nullptr;
    if (ldap_initialize(&h, s.uri.c_str()) != LDAP_SUCCESS || h == nullptr) return ERR_UNREACHABLE_SERVER;
    int version = LDAP_VERSION3;
    ldap_set_option(h, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(h, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(h, LDAP_OPT_RESTART, LDAP_OPT_ON);
    timeval tv{static_cast<time_t>(s.timeoutSeconds), 0};
    ldap_set_option(h, LDAP_OPT_NETWORK_TIMEOUT, &tv);
    ldap_set_option(h, LDAP_OPT_TIMEOUT, &tv);
    int deref = LDAP_DEREF_NEVER;
    ldap_set_option(h, LDAP_OPT_DEREF, &deref);
    if (UsesTls()) {
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
      if (rc != LDAP_TIMEOUT && s.uri.rfind("ldaps:", 0) == 0 && PortAnswers(s.uri, s.timeoutSeconds)) {
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
  int AwaitResult(LDAP* h, int msgid, int* err) {
    int code = LDAP_SUCCESS;
    LDAPMessage* res = Await(h, msgid, Deadline(), nullptr, &code);
    if (res == nullptr) return code;
    *err = LDAP_OTHER;
    return ldap_parse_result(h, res, err, nullptr, nullptr, nullptr, nullptr, 1);
  }

  // A simple bind on `h`; a directory code.
  int Bind(LDAP* h, const std::string& dn, Secret& password) {
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

  int Connect() {
    if (ld != nullptr) return 0;
    LDAP* h = nullptr;
    if (int rc = Open(&h); rc != 0) return rc;
    Secret password;
    if (!BindPassword(&password)) {
      ldap_unbind_ext(h, nullptr, nullptr);
      return ERR_FAILED_AUTHENTICATION;
    }
    if (int rc = Bind(h, s.bindDn, password); rc != 0) {
      ldap_unbind_ext(h, nullptr, nullptr);
      return rc;
    }
    ld = h;
    ++connections;
    if (!schemaRead) ReadSchema();
    return ld != nullptr ? 0 : ERR_TRANSPORT_FAILURE;
  }

  // A failed request: the connection goes when it cannot be trusted. A
  // connection that breaks once open is a transport failure, whatever
  // libldap calls it.
  int Fail(int code) {
    if (!LostConnection(code)) return MapResult(code);
    Drop();
    return code == LDAP_UNAVAILABLE ? ERR_UNREACHABLE_SERVER : ERR_TRANSPORT_FAILURE;
  }

  // ---- searching ----

  // One search, page by page when `paged`; each entry goes to `onEntry`. A
  // connection kept from earlier calls may have died in between (a server
  // restarted): a search that finds it so before any entry arrived is made
  // once more on a new connection.
  // `observe`: a listing, whose pages the page observer sees.
  int Search(const std::string& base, int scope, const std::string& filter, const char* const* attrs, bool paged,
             const std::function<void(const RawEntry&)>& onEntry, bool observe = false) {
    const bool reused = ld != nullptr;
    bool delivered = false;
    const int rc = SearchOnce(base, scope, filter, attrs, paged, onEntry, observe, &delivered);
    if (rc == ERR_TRANSPORT_FAILURE && reused && !delivered && ld == nullptr) {
      return SearchOnce(base, scope, filter, attrs, paged, onEntry, observe, &delivered);
    }
    return rc;
  }

  int SearchOnce(const std::string& base, int scope, const std::string& filter, const char* const* attrs, bool paged,
                 const std::function<void(const RawEntry&)>& onEntry, bool observe, bool* delivered) {
    if (int rc = Connect(); rc != 0) return rc;
    std::string cookie;
    std::size_t pages = 0;
    // A paged search ends within its bound, and a server that hands back a
    // cookie it gave before would page forever.
    const Clock::time_point listEnd = Clock::now() + std::chrono::seconds(s.listTimeLimitSeconds);
    std::set<std::string> cookies;
    for (;;) {
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
      if (int rc = CheckPaging(cookie, listEnd, &cookies); rc != 0) return rc;
    }
  }

  // After a page that asks for more: a cookie given before, or a listing
  // past its bound, ends it. The server still holds the search, so the
  // connection goes with it.
  int CheckPaging(const std::string& cookie, Clock::time_point listEnd, std::set<std::string>* cookies) {
    if (cookies->insert(cookie).second && Clock::now() < listEnd) return 0;
    Drop();
    return ERR_TRANSPORT_FAILURE;
  }

  // One request of a search: all of it, or with `cookie` the page that
  // cookie asks for (empty: the first page), `cookie` then set to the
  // server's cookie for the next one (empty: that was the last). Each
  // request waits no longer than the time-out, nor past `end`.
  int SearchPage(const std::string& base, int scope, const std::string& filter, const char* const* attrs,
                 std::string* cookie, Clock::time_point end, const std::function<void(const RawEntry&)>& onEntry,
                 bool* delivered, int pageSize = -1) {
    LDAPControl* page = nullptr;
    LDAPControl* controls[2] = {nullptr, nullptr};
    if (cookie != nullptr) {
      berval c{cookie->size(), cookie->data()};
      const ber_int_t size = static_cast<ber_int_t>(pageSize < 0 ? s.pageSize : pageSize);
      int rc = ldap_create_page_control(ld, size, cookie->empty() ? nullptr : &c, 0, &page);
      if (rc != LDAP_SUCCESS) return Fail(rc);
      controls[0] = page;
    }
    int msgid = 0;
    int rc = ldap_search_ext(ld, base.c_str(), scope, filter.c_str(), const_cast<char**>(attrs), 0,
                             cookie != nullptr ? controls : nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &msgid);
    if (page != nullptr) ldap_control_free(page);
    if (rc != LDAP_SUCCESS) return Fail(rc);
    int code = LDAP_SUCCESS;
    RawEntry raw;
    LDAPMessage* res = Await(
        ld, msgid, std::min(Deadline(), end),
        [&](LDAPMessage* m) {
          *delivered = true;
          if (ReadEntry(ld, m, &raw)) onEntry(raw);
        },
        &code);
    if (res == nullptr) return Fail(code);
    int err = LDAP_OTHER;
    LDAPControl** serverControls = nullptr;
    rc = ldap_parse_result(ld, res, &err, nullptr, nullptr, nullptr, &serverControls, 1);
    if (rc != LDAP_SUCCESS) return Fail(rc);
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
    if (err != LDAP_SUCCESS) return Fail(err);
    return 0;
  }

  // The one entry at `dn` (base search); ERR_NO_SUCH_ENTRY when absent.
  int ReadOne(const std::string& dn, const char* const* attrs, RawEntry* out) {
    bool found = false;
    int rc = Search(dn, LDAP_SCOPE_BASE, "(objectClass=*)", attrs, false, [&](const RawEntry& e) {
      if (!found) *out = e;
      found = true;
    });
    if (rc != 0) return rc;
    return found ? 0 : ERR_NO_SUCH_ENTRY;
  }

  void ReadSchema() {
    schemaRead = true;
    const char* rootAttrs[] = {"subschemaSubentry", "namingContexts", nullptr};
    RawEntry root;
    if (ReadOne("", rootAttrs, &root) != 0) return;
    if (!basesKnown) {
      if (const auto* contexts = root.Get("namingContexts")) {
        for (const std::string& c : *contexts) {
          DName name;
          if (ldap::DnToName(c, &name) && !name.IsRoot()) bases.push_back(std::move(name));
        }
      }
      basesKnown = true;
    }
    const std::string* subschema = root.First("subschemaSubentry");
    const char* schemaAttrs[] = {"attributeTypes", "objectClasses", nullptr};
    bool found = false;
    RawEntry schema;
    if (Search(subschema ? *subschema : "cn=Subschema", LDAP_SCOPE_BASE, "(objectClass=subschema)", schemaAttrs, false,
               [&](const RawEntry& e) {
                 schema = e;
                 found = true;
               }) != 0 ||
        !found) {
      return;
    }
    LearnSchema(schema);
  }

  static const char* NdsName(LDAPSchemaExtensionItem** extensions) {
    for (LDAPSchemaExtensionItem** e = extensions; e != nullptr && *e != nullptr; ++e) {
      if (strcasecmp((*e)->lsei_name, "X-NDS_NAME") == 0 && (*e)->lsei_values != nullptr &&
          (*e)->lsei_values[0] != nullptr) {
        return (*e)->lsei_values[0];
      }
    }
    return nullptr;
  }

  void LearnSchema(const RawEntry& schema) {
    struct Type {
      std::vector<std::string> names;
      std::string syntax, sup;
    };
    std::vector<Type> types;
    if (const auto* values = schema.Get("attributeTypes")) {
      for (const std::string& v : *values) {
        int code = 0;
        const char* where = nullptr;
        LDAPAttributeType* at = ldap_str2attributetype(v.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL);
        if (at == nullptr) continue;
        Type t;
        for (char** n = at->at_names; n != nullptr && *n != nullptr; ++n) t.names.emplace_back(*n);
        if (t.names.empty() && at->at_oid) t.names.emplace_back(at->at_oid);
        if (at->at_syntax_oid) t.syntax = at->at_syntax_oid;
        if (at->at_sup_oid) t.sup = at->at_sup_oid;
        if (const char* nds = NdsName(at->at_extensions); nds && !t.names.empty()) {
          map.AddAttribute(nds, t.names[0], ldap::NameMap::kServer);
          for (std::size_t i = 1; i < t.names.size(); ++i) map.AddAttributeAlias(t.names[i], t.names[0]);
        }
        types.push_back(std::move(t));
        ldap_attributetype_free(at);
      }
    }
    // Syntaxes, inherited from the superior type where a type names none.
    auto find = [&](const std::string& name) -> const Type* {
      for (const Type& t : types) {
        for (const std::string& n : t.names) {
          if (EqualNoCase(n, name)) return &t;
        }
      }
      return nullptr;
    };
    for (const Type& t : types) {
      const Type* at = &t;
      for (int depth = 0; at != nullptr && at->syntax.empty() && !at->sup.empty() && depth < 8; ++depth) at = find(at->sup);
      if (at == nullptr || at->syntax.empty()) continue;
      for (const std::string& n : t.names) map.SetSyntaxOid(n, at->syntax);
    }
    if (const auto* values = schema.Get("objectClasses")) {
      for (const std::string& v : *values) {
        int code = 0;
        const char* where = nullptr;
        LDAPObjectClass* oc = ldap_str2objectclass(v.c_str(), &code, &where, LDAP_SCHEMA_ALLOW_ALL);
        if (oc == nullptr) continue;
        std::vector<std::string> names;
        for (char** n = oc->oc_names; n != nullptr && *n != nullptr; ++n) names.emplace_back(*n);
        if (!names.empty()) {
          if (oc->oc_kind == LDAP_SCHEMA_AUXILIARY) {
            for (const std::string& n : names) map.SetAuxiliary(n);
          }
          if (const char* nds = NdsName(oc->oc_extensions)) {
            map.AddClass(nds, names[0], ldap::NameMap::kServer);
            for (std::size_t i = 1; i < names.size(); ++i) map.AddClassAlias(names[i], names[0]);
          }
        }
        ldap_objectclass_free(oc);
      }
    }
  }

  // ---- entries ----

  static std::uint64_t Key(std::string_view identifier) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : identifier) {
      h ^= static_cast<std::uint8_t>(nwtext::LowerChar(c));
      h *= 1099511628211ull;
    }
    return h;
  }

  std::uint32_t IdFor(std::string_view identifier, const std::string& dn) {
    const std::uint64_t key = Key(identifier);
    std::uint32_t id = ldap::IdFromIdentifier(identifier);
    for (;;) {
      if (id != rootId) {
        auto [it, added] = known.try_emplace(id, Known{key, {}});
        if (added || it->second.key == key) {
          if (it->second.dn != dn) it->second.dn = dn;  // new, or renamed
          return id;
        }
      }
      // Two identifiers with one hash: the later one takes the next free ID.
      std::uint32_t shown = DisplayId(id) + 1;
      if (shown == 0 || shown == 0xFFFFFFFFu) shown = 1;
      id = IdFromDisplay(shown);
    }
  }

  // The base class and class definition of a structural class, remembered:
  // listings ask for the same few classes again and again.
  std::pair<const std::string*, const ClassDef*> ClassOf(const RawEntry& raw) {
    const std::string* structural = raw.First("structuralObjectClass");
    if (structural == nullptr) {
      scratchClass = ldap::BaseClassOf(map, raw);
      return {&scratchClass, FindClass(scratchClass)};
    }
    auto it = classMemo.find(*structural);
    if (it == classMemo.end()) {
      std::string nds = map.ClassToNds(*structural);
      const ClassDef* def = FindClass(nds);
      it = classMemo.emplace(*structural, std::make_pair(std::move(nds), def)).first;
    }
    return {&it->second.first, it->second.second};
  }
  std::unordered_map<std::string, std::pair<std::string, const ClassDef*>> classMemo;
  std::string scratchClass;

  // The naming contexts, from the server when the settings name none.
  int KnowBases() { return basesKnown ? 0 : Connect(); }

  // The naming contexts listed below the root: those one part long. Deeper
  // ones are reached through their containers.
  int TopBases(std::vector<DName>* out) {
    out->clear();
    if (int rc = KnowBases(); rc != 0) return rc;
    for (const DName& b : bases) {
      if (b.Depth() == 1) out->push_back(b);
    }
    return 0;
  }

  bool WithinBases(const DName& name) const {
    return std::any_of(bases.begin(), bases.end(), [&](const DName& b) { return IsWithin(name, b); });
  }

  int RootInfo(EntryInfo* out) {
    if (int rc = Connect(); rc != 0) return rc;
    std::vector<DName> top;
    if (int rc = TopBases(&top); rc != 0) return rc;
    out->id = rootId;
    out->name = DName{};
    out->baseClass = "Top";
    out->flags = kEntryContainer | kEntryPartitionRoot;
    out->subordinateCount = static_cast<std::uint32_t>(top.size());
    out->modificationTime = created;
    out->aliasTarget = 0;
    return 0;
  }

  // Converts what needs no more requests; `followup` tells what does.
  bool Convert(const RawEntry& raw, EntryInfo* out, Followup* followup) {
    DName name;
    if (!ldap::DnToName(raw.dn, &name) || name.IsRoot()) return false;
    if (const std::string* uuid = raw.First("entryUUID")) {
      out->id = IdFor(*uuid, raw.dn);
    } else if (const std::string* guid = raw.First("GUID")) {
      out->id = IdFor("guid:" + nwtext::HexEncode(*guid), raw.dn);
    } else {
      out->id = IdFor("dn:" + ldap::NameKey(name), raw.dn);
    }
    out->name = std::move(name);
    const auto [baseClass, cls] = ClassOf(raw);
    out->baseClass = *baseClass;
    const std::string* hasSubs = raw.First("hasSubordinates");
    const bool hasChildren = hasSubs != nullptr && EqualNoCase(*hasSubs, "TRUE");
    out->flags = 0;
    if (cls ? cls->container : hasChildren) out->flags |= kEntryContainer;
    if (out->baseClass == "Organization") out->flags |= kEntryPartitionRoot;
    out->aliasTarget = 0;
    out->subordinateCount = 0;
    if (auto n = ParseCount(raw.First("subordinateCount"))) {
      out->subordinateCount = *n;
    } else if (auto m = ParseCount(raw.First("numSubordinates"))) {
      out->subordinateCount = *m;
    } else if (hasChildren) {
      followup->countChildren = true;
    }
    out->modificationTime = 0;
    if (const std::string* ts = raw.First("modifyTimestamp")) {
      if (auto t = ldap::ParseGeneralizedTime(*ts); t && *t >= 0 && *t <= UINT32_MAX) {
        out->modificationTime = static_cast<std::uint32_t>(*t);
      }
    }
    if (out->baseClass == "Alias") {
      out->flags |= kEntryAlias;
      if (const std::string* target = raw.First("aliasedObjectName")) followup->aliasDn = *target;
    }
    return true;
  }

  // The number of subordinates of a container whose server does not say:
  // from the listing being paged through (the entry points look the
  // container up again for every reply). A container looked up by itself
  // (`listIt`) is listed, and the listing kept for the NWDSList that
  // usually follows; one listed below another is counted, names only.
  int CountChildren(EntryInfo* info, bool listIt) {
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
      if (int rc = List(info->id, &items); rc != 0) return rc;
      info->subordinateCount = static_cast<std::uint32_t>(items.size());
      Keep(info->id, std::move(items), at);
      return 0;
    }
    std::uint32_t count = 0;
    std::string dn;
    if (!ldap::NameToDn(info->name, &dn)) return 0;
    const int rc = Search(dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", kNoAttributes, true, [&](const RawEntry&) { ++count; });
    if (rc != 0) return rc;
    info->subordinateCount = count;
    if (s.cacheSeconds > 0) counts[info->id] = {count, Clock::now()};
    return 0;
  }

  int Complete(EntryInfo* info, const Followup& f, bool resolving) {
    if (f.countChildren) {
      if (int rc = CountChildren(info, resolving); rc != 0) return rc;
    }
    if (!f.aliasDn.empty()) {
      DName target;
      EntryInfo t;
      if (!ldap::DnToName(f.aliasDn, &target)) return 0;  // names nothing the directory can spell
      const int rc = Lookup(target, &t, kLight);
      if (rc == ERR_NO_SUCH_ENTRY) return 0;                // a dangling alias
      if (rc != 0) return rc;
      info->aliasTarget = t.id;
      if (t.flags & kEntryContainer) info->flags |= kEntryContainerAlias;
    }
    return 0;
  }

  bool Fresh(Clock::time_point at) const {
    return s.cacheSeconds > 0 && Clock::now() - at < std::chrono::seconds(s.cacheSeconds);
  }

  // How much a look-up finds out: a container's subordinates are counted
  // (kChild) or listed, the listing kept for the request that usually
  // follows (kFull); kLight leaves the count and an alias's target alone,
  // for callers that only need the entry's ID, name and class.
  enum Depth { kLight, kChild, kFull };

  // An entry by name, aliases as they are.
  int Lookup(const DName& name, EntryInfo* out, Depth depth = kFull) {
    if (name.IsRoot()) return RootInfo(out);
    if (int rc = KnowBases(); rc != 0) return rc;
    if (!WithinBases(name)) return ERR_NO_SUCH_ENTRY;
    const std::string key = ldap::NameKey(name);
    if (auto it = entries.find(key); it != entries.end() && Fresh(it->second.at)) {
      *out = it->second.info;
      return 0;
    }
    std::string dn;
    if (!ldap::NameToDn(name, &dn)) return ERR_NO_SUCH_ENTRY;
    RawEntry raw;
    if (int rc = ReadOne(dn, kEntryAttributes, &raw); rc != 0) return rc;
    Followup f{0, {}, false};
    if (!Convert(raw, out, &f)) return ERR_NO_SUCH_ENTRY;
    if (depth == kLight) return 0;
    if (int rc = Complete(out, f, depth == kFull); rc != 0) return rc;
    if (s.cacheSeconds > 0) entries[key] = {*out, Clock::now()};
    return 0;
  }

  int ById(std::uint32_t id, EntryInfo* out, Depth depth = kFull) {
    if (id == rootId) return RootInfo(out);
    auto it = known.find(id);
    if (it == known.end()) return ERR_NO_SUCH_ENTRY;
    DName name;
    if (!ldap::DnToName(it->second.dn, &name)) return ERR_NO_SUCH_ENTRY;
    if (int rc = Lookup(name, out, depth); rc != 0) return rc;
    // Another object under the old name is not the entry that had this ID.
    return out->id == id ? 0 : ERR_NO_SUCH_ENTRY;
  }

  // The name of the entry with `id`, checked against the server.
  int NameOf(std::uint32_t id, DName* name, std::string* dn) {
    EntryInfo info;
    if (int rc = ById(id, &info, kLight); rc != 0) return rc;
    *name = info.name;
    if (!ldap::NameToDn(info.name, dn)) return ERR_NO_SUCH_ENTRY;
    return 0;
  }

  int List(std::uint32_t parentId, std::vector<EntryInfo>* out) {
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
    auto parent = known.find(parentId);
    if (parent == known.end()) return ERR_NO_SUCH_ENTRY;
    const std::string dn = parent->second.dn;
    std::vector<Followup> followups;
    int rc = Search(
        dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", kEntryAttributes, true,
        [&](const RawEntry& raw) {
          Followup f{out->size(), {}, false};
          EntryInfo info;
          if (!Convert(raw, &info, &f)) return;  // a name the directory cannot spell
          out->push_back(std::move(info));
          if (f.countChildren || !f.aliasDn.empty()) followups.push_back(std::move(f));
        },
        true);
    for (std::size_t i = 0; rc == 0 && i < followups.size(); ++i) {
      rc = Complete(&(*out)[followups[i].index], followups[i], false);
    }
    if (rc != 0) out->clear();
    return rc;
  }

  // ---- listings read page by page ----

  // Reads the stream's next page in place of the one at hand, and completes
  // its entries.
  int NextPage(Stream& st) {
    std::vector<Followup> followups;
    bool delivered = false;
    auto onEntry = [&](const RawEntry& raw) {
      Followup f{st.page.size(), {}, false};
      EntryInfo info;
      if (!Convert(raw, &info, &f)) return;  // a name the directory cannot spell
      st.page.push_back(std::move(info));
      if (f.countChildren || !f.aliasDn.empty()) followups.push_back(std::move(f));
    };
    auto request = [&] {
      return SearchPage(st.dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", kEntryAttributes, &st.cookie, st.end, onEntry,
                        &delivered);
    };
    st.base += st.page.size();
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
        if ((rc = Connect()) == 0) rc = request();
      }
      st.connection = connections;
    } else if (ld == nullptr || st.connection != connections) {
      rc = ERR_TRANSPORT_FAILURE;  // the connection the search ran on is gone
    } else {
      rc = request();
    }
    if (rc != 0) return rc;
    ++st.pages;
    if (pageObserver) {
      pageObserver(st.pages);
      if (ld == nullptr) return ERR_TRANSPORT_FAILURE;
    }
    if (!st.cookie.empty()) {
      if ((rc = CheckPaging(st.cookie, st.end, &st.cookies)) != 0) return rc;
    }
    for (const Followup& f : followups) {
      if ((rc = Complete(&st.page[f.index], f, false)) != 0) return rc;
    }
    return 0;
  }

  // Tells the server that a listing read part of the way is done with (a
  // zero-size page request with its cookie).
  void Abandon(const Stream& st) {
    if (st.cookie.empty() || ld == nullptr || st.connection != connections) return;
    std::string cookie = st.cookie;
    bool delivered = false;
    SearchPage(st.dn, LDAP_SCOPE_ONELEVEL, "(objectClass=*)", kNoAttributes, &cookie, Deadline(),
               [](const RawEntry&) {}, &delivered, 0);
  }

  std::list<Stream>::iterator FindStream(std::uint32_t parentId, std::size_t start) {
    return std::find_if(streams.begin(), streams.end(), [&](const Stream& st) {
      return st.parent == parentId && st.base <= start && start <= st.base + st.page.size();
    });
  }

  // Subordinates from `start` of a listing read page by page: a request that
  // goes on where an open listing stands takes its page at hand and the
  // pages after it; any other starts a new listing.
  int ListStreamed(std::uint32_t parentId, std::size_t start, std::size_t maxCount, std::vector<EntryInfo>* out,
                   std::size_t* total) {
    auto it = start > 0 ? FindStream(parentId, start) : streams.end();
    if (it == streams.end()) {
      auto parent = known.find(parentId);
      if (parent == known.end()) return ERR_NO_SUCH_ENTRY;
      Stream fresh;
      fresh.parent = parentId;
      fresh.dn = parent->second.dn;
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
      if (at < st.base + st.page.size()) {
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
  const Listing& Keep(std::uint32_t parentId, std::vector<EntryInfo>&& items, Clock::time_point at) {
    listings.erase(std::remove_if(listings.begin(), listings.end(), [&](const Listing& l) { return l.parent == parentId; }),
                   listings.end());
    listings.push_front(Listing{parentId, std::move(items), at});
    if (listings.size() > kKeptListings) listings.pop_back();
    return listings.front();
  }

  const Listing* FindListing(std::uint32_t parentId) const {
    for (const Listing& l : listings) {
      if (l.parent == parentId) return &l;
    }
    return nullptr;
  }

  std::string ChildType(const DName& parent, std::string_view value) {
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
      for (const char* attr : {"cn", "ou", "o", "c", "l", "st", "street"}) filter += std::string("(") + attr + "=" + v + ")";
      filter += ")";
      Search(dn, LDAP_SCOPE_ONELEVEL, filter, kNoAttributes, false, [&](const RawEntry& raw) {
        DName child;
        if (type.empty() && ldap::DnToName(raw.dn, &child) && !child.IsRoot() &&
            EqualNoCase(child.parts.front().value, value)) {
          type = child.parts.front().type;
        }
      });
    }
    if (s.cacheSeconds > 0) childTypes[key] = {type, Clock::now()};
    return type;
  }

  // ---- attributes ----

  int ReadAttr(std::uint32_t id, std::string_view attrName, AttributeValues* out) {
    if (id == rootId) {
      if (!EqualNoCase(attrName, "Object Class")) return ERR_NO_SUCH_ATTRIBUTE;
      *out = {"Object Class", SYN_CLASS_NAME, {{SYN_CLASS_NAME, std::string("Top")}}};
      return 0;
    }
    DName name;
    std::string dn;
    if (int rc = NameOf(id, &name, &dn); rc != 0) return rc;
    const std::string ldapName = map.AttributeToLdap(attrName);
    if (EqualNoCase(ldapName, "userPassword") || EqualNoCase(ldapName, "authPassword")) return ERR_NO_SUCH_ATTRIBUTE;
    const bool classes = EqualNoCase(ldapName, "objectClass");
    const char* attrs[] = {ldapName.c_str(), classes ? "structuralObjectClass" : nullptr, nullptr};
    RawEntry raw;
    if (int rc = ReadOne(dn, attrs, &raw); rc != 0) return rc;
    if (!classes && raw.attributes.empty()) return ERR_NO_SUCH_ATTRIBUTE;
    std::vector<AttributeValues> all;
    ldap::ConvertAttributes(map, raw, name, ldap::BaseClassOf(map, raw), false, &all, nullptr);
    std::string nds = std::string(attrName);
    if (const AttributeDef* def = FindAttribute(attrName)) nds = std::string(def->name);
    for (AttributeValues& a : all) {
      if (EqualNoCase(a.name, nds) || EqualNoCase(map.AttributeToLdap(a.name), ldapName)) {
        if (a.values.empty()) break;
        *out = std::move(a);
        return 0;
      }
    }
    return ERR_NO_SUCH_ATTRIBUTE;
  }

  int ReadAll(std::uint32_t id, std::vector<AttributeValues>* out) {
    out->clear();
    if (id == rootId) {
      out->push_back({"Object Class", SYN_CLASS_NAME, {{SYN_CLASS_NAME, std::string("Top")}}});
      return 0;
    }
    DName name;
    std::string dn;
    if (int rc = NameOf(id, &name, &dn); rc != 0) return rc;
    const char* attrs[] = {LDAP_ALL_USER_ATTRIBUTES, "structuralObjectClass", nullptr};
    RawEntry raw;
    if (int rc = ReadOne(dn, attrs, &raw); rc != 0) return rc;
    ldap::ConvertAttributes(map, raw, name, ldap::BaseClassOf(map, raw), false, out, nullptr);
    return 0;
  }

  // ---- identity and passwords ----

  int Me(std::optional<DName>* out) {
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

  // The target of a password operation: a User the login may address.
  int PasswordTarget(std::uint32_t id, std::string* dn) {
    std::optional<DName> who;
    if (int rc = Me(&who); rc != 0) return rc;
    if (!who) return ERR_NOT_LOGGED_IN;
    EntryInfo info;
    if (int rc = ById(id, &info, kLight); rc != 0) return rc;
    if (info.baseClass != "User") return ERR_ILLEGAL_ATTRIBUTE;
    if (!ldap::NameToDn(info.name, dn)) return ERR_NO_SUCH_ENTRY;
    return 0;
  }

  // Password Modify (RFC 3062) on the connection; the LDAP result code in
  // `*ldapCode`, a directory code returned.
  int PasswordModify(const std::string& dn, Secret* oldPassword, Secret& newPassword, int* ldapCode) {
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
    return MapResult(err);
  }

  // Removes an object's password (an empty new password).
  int ClearPassword(const std::string& dn) {
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
    return MapResult(err);
  }

  // Whether `password` is the password of `dn`: a bind on a connection of
  // its own.
  int Verify(const std::string& dn, std::string_view password) {
    Secret secret(password, s.upperCasePasswords);
    if (secret.text.empty() || secret.text.size() > kMaxPasswordBytes) return ERR_FAILED_AUTHENTICATION;
    LDAP* h = nullptr;
    if (int rc = Open(&h); rc != 0) return rc;
    int rc = Bind(h, dn, secret);
    ldap_unbind_ext(h, nullptr, nullptr);
    return rc;
  }

  int SetPw(std::uint32_t id, std::string_view newPassword) {
    std::string dn;
    if (int rc = PasswordTarget(id, &dn); rc != 0) return rc;
    Secret secret(newPassword, s.upperCasePasswords);
    if (secret.text.size() > kMaxPasswordBytes) return ERR_SYNTAX_VIOLATION;
    int ldapCode = LDAP_SUCCESS;
    const int rc = secret.text.empty() ? ClearPassword(dn) : PasswordModify(dn, nullptr, secret, &ldapCode);
    ForgetReads();
    return rc;
  }

  int ChangePw(std::uint32_t id, std::string_view oldPassword, std::string_view newPassword) {
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
};

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
