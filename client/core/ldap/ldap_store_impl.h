// The LDAP store's private half, shared by the files that implement it:
// - ldap_connection.cpp: connecting, binding, TLS, time-outs, reconnection
//   and the searches every other part makes;
// - ldap_reading.cpp: the server's schema, entries, their IDs and attributes;
// - ldap_listing.cpp: listings of a container, whole or page by page;
// - ldap_passwords.cpp: the identity logged in and password changes;
// - ldap_store.cpp: the store's calls, each under the store's lock.
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
#pragma once

#include <ldap.h>
#include <ldap_schema.h>
#include <pthread.h>
#include <signal.h>
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/nwtext.h"
#include "ds_context.h"
#include "ldap_store.h"
#include "nwclient.h"
#include "password.h"
#include "schema.h"

namespace nwc {

namespace ldap {

using Clock = std::chrono::steady_clock;

// What a listing or a look-up asks for each entry.
const char* const kEntryAttributes[] = {"objectClass",     "structuralObjectClass", "entryUUID",
                                        "GUID",            "hasSubordinates",       "subordinateCount",
                                        "numSubordinates", "modifyTimestamp",       "aliasedObjectName",
                                        nullptr};
const char* const kNoAttributes[] = {LDAP_NO_ATTRS, nullptr};
// What a listing of a container asks for: every entry directly below it.
inline const std::string kListFilter = "(objectClass=*)";

constexpr std::size_t kKeptListings = 4;
// Listings read page by page at once; the least recently used one beyond
// is abandoned.
constexpr std::size_t kOpenListings = 8;
// The first page of a streamed listing is at most this large, so that the
// first reply need not wait for a whole page; the pages after it are full.
constexpr int kFirstPageSize = 100;
constexpr std::size_t kMaxPasswordBytes = 1024;
// The most referrals one operation follows one after another: a longer
// chain is taken for a loop.
constexpr int kMaxReferralHops = 5;

// How long a server that stopped answering is tried after the others.
constexpr std::chrono::seconds kStalledHoldOff{60};

// A directory completion code for an LDAP result or library code.
int MapResult(int code);

// Results after which the connection cannot be trusted any more.
bool LostConnection(int code);

// The time left until `deadline`, none when it is past.
timeval Remaining(Clock::time_point deadline);

// The entry of a search result message, into `out` (whose strings are reused).
bool ReadEntry(LDAP* ld, LDAPMessage* msg, RawEntry* out);

// A subordinate count the server gave, when it is a number.
std::optional<std::uint32_t> ParseCount(const std::string* text);

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
bool PortAnswers(const std::string& uri, int seconds);

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

// A set of integers in one array (open addressing, linear probing, a
// value's low bits its home): a listing of many entries adds one
// to it for each, with no allocation per entry and a fraction of the memory
// a node-based set takes.
template <class T>
class HashSetOf {
 public:
  // False when `h` was in the set already.
  bool Insert(T h) {
    if (h == 0) {  // the empty slot's mark: kept beside the array
      const bool added = !hasZero_;
      hasZero_ = true;
      return added;
    }
    if ((count_ + 1) * 5 > slots_.size() * 4) Grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(h) & mask;; i = (i + 1) & mask) {
      if (slots_[i] == h) return false;
      if (slots_[i] == 0) {
        slots_[i] = h;
        ++count_;
        return true;
      }
    }
  }
  // The first nonzero value from `home` on that `match` takes, else 0: a
  // look-up by the part of the value its low bits hold.
  template <class Match>
  T Find(T home, Match match) const {
    if (slots_.empty()) return 0;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = static_cast<std::size_t>(home) & mask; slots_[i] != 0; i = (i + 1) & mask) {
      if (match(slots_[i])) return slots_[i];
    }
    return 0;
  }
  void clear() { *this = HashSetOf(); }

 private:
  void Grow() {
    std::vector<T> old(std::max<std::size_t>(64, slots_.size() * 2), 0);
    old.swap(slots_);
    count_ = 0;
    for (T h : old) {
      if (h != 0) Insert(h);
    }
  }
  std::vector<T> slots_;
  std::size_t count_ = 0;
  bool hasZero_ = false;
};
// Names of a listing, by their values' folded hashes: two that share one
// are told apart by the server.
using HashSet = HashSetOf<std::uint32_t>;

// The entries met so far by their IDs (never 0): each one's identifier
// hash, its parent's ID and its DN text, in one array of fixed-size slots
// (open addressing, linear probing) with the texts in blocks of 64 KiB. A
// listing of many entries adds a slot and a few bytes of text for each,
// with no allocation per entry and no copy of the texts as they grow.
class KnownTable {
 public:
  struct Slot {
    std::uint32_t id = 0;  // 0: the slot is free
    std::uint32_t parent = 0;
    std::uint32_t key = 0;  // the identifier's hash, folded
    std::uint32_t block = 0, at = 0, length = 0;
  };

  static std::uint32_t Fold(std::uint64_t key) { return static_cast<std::uint32_t>(key ^ (key >> 32)); }

  const Slot* Find(std::uint32_t id) const {
    if (slots_.empty() || id == 0) return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Home(id) & mask;; i = (i + 1) & mask) {
      if (slots_[i].id == id) return &slots_[i];
      if (slots_[i].id == 0) return nullptr;
    }
  }
  // The slot of `id`, made (with no text) when there is none; *added tells.
  // Slots move when the table grows: a pointer holds until the next call.
  Slot* Emplace(std::uint32_t id, bool* added) {
    if (Slot* s = const_cast<Slot*>(Find(id))) {
      *added = false;
      return s;
    }
    if ((count_ + 1) * 5 > slots_.size() * 4) Grow();
    *added = true;
    ++count_;
    Slot* s = Place(id);
    s->id = id;
    return s;
  }
  std::string_view Text(const Slot& s) const {
    return s.length == 0 ? std::string_view() : std::string_view(blocks_[s.block].get() + s.at, s.length);
  }
  // Sets a slot's parent and text; a changed text is stored anew (the old
  // one stays: entries are seldom renamed).
  void Set(Slot* s, std::uint32_t parent, std::string_view text) {
    s->parent = parent;
    if (Text(*s) == text) return;
    if (blocks_.empty() || used_ + text.size() > kBlock) {
      // A text larger than a block has one of its own.
      blocks_.push_back(std::make_unique<char[]>(std::max(kBlock, text.size())));
      used_ = 0;
    }
    s->block = static_cast<std::uint32_t>(blocks_.size() - 1);
    s->at = static_cast<std::uint32_t>(used_);
    s->length = static_cast<std::uint32_t>(text.size());
    if (!text.empty()) std::memcpy(blocks_.back().get() + used_, text.data(), text.size());
    used_ += text.size();  // past a block's end after a text of its own: the next starts a block
  }

 private:
  static constexpr std::size_t kBlock = 64 * 1024;
  static std::size_t Home(std::uint32_t id) { return static_cast<std::size_t>(id) * 0x9E3779B1u; }
  Slot* Place(std::uint32_t id) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = Home(id) & mask;
    while (slots_[i].id != 0) i = (i + 1) & mask;
    return &slots_[i];
  }
  void Grow() {
    std::vector<Slot> old(std::max<std::size_t>(64, slots_.size() * 2));
    old.swap(slots_);
    for (const Slot& s : old) {
      if (s.id != 0) *Place(s.id) = s;
    }
  }
  std::vector<Slot> slots_;  // a power of two long, at most four fifths used
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;  // of the last block
};

// One follow-up an entry needs once its search is over.
struct Followup {
  std::size_t index;
  std::string aliasDn;     // alias: the object it names
  bool countChildren = false;
  bool uidLeaf = false;    // named by uid rather than cn
};

}  // namespace ldap

// The store's own pieces, by their short names in the files that share them.
using ldap::Clock;
using ldap::Followup;
using ldap::kEntryAttributes;
using ldap::kKeptListings;
using ldap::kMaxPasswordBytes;
using ldap::kMaxReferralHops;
using ldap::kStalledHoldOff;
using ldap::kNoAttributes;
using ldap::kOpenListings;
using ldap::kFirstPageSize;
using ldap::kListFilter;
using ldap::LostConnection;
using ldap::MapResult;
using ldap::NoSigPipe;
using ldap::ParseCount;
using ldap::PortAnswers;
using ldap::RawEntry;
using ldap::ReadEntry;
using ldap::Remaining;
using ldap::Secret;

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
  std::string server;  // the URI `ld` is connected to
  // Servers of the list that took a connection or a request and then did
  // not answer within the time-out, and when. A new connection tries them
  // after the others for a while: a hung server costs the call that finds
  // it so one time-out, not one more for connecting to it again.
  std::map<std::string, Clock::time_point> stalled;
  // Connections to servers a referral named (scheme://host:port), bound as
  // `ld` is; they go with it.
  std::unordered_map<std::string, LDAP*> referred;
  std::optional<DName> me;
  bool meKnown = false;

  // Entry IDs, stable for the life of the store: for each ID the entry's
  // identifier (a 64-bit hash of it) and its DN as the server spells it.
  // An entry met in a listing keeps only its first part and its parent's
  // ID (the rest of its DN is the parent's): a listing of many entries then
  // stores no copy of the container's DN for each.
  // A slot's parent nonzero: its text is the entry's first part only.
  ldap::KnownTable known;
  // The DN of a known entry, whole; false when the ID is not known.
  bool KnownDn(std::uint32_t id, std::string* dn) const;
  // Leaves of streamed listings get their IDs with no place in `known`: a
  // listing of many users then keeps 8 bytes for each, not its name. Each
  // such ID is kept with its identifier's folded hash above it, so that no
  // other entry takes it, and the containers they were listed in are kept.
  // One of these IDs asked for by itself has those containers listed again
  // in full, which gives each of their entries its place.
  ldap::HashSetOf<std::uint64_t> listedOnly;
  std::set<std::uint32_t> listedOnlyParents;
  // The folded hash kept with a listed-only ID; none when it is not one.
  std::optional<std::uint32_t> ListedOnlyKey(std::uint32_t id) const {
    const std::uint64_t v = listedOnly.Find(id, [id](std::uint64_t x) { return static_cast<std::uint32_t>(x) == id; });
    if (v == 0) return std::nullopt;
    return static_cast<std::uint32_t>(v >> 32);
  }
  // The ID a listed leaf gets without a place in `known`; 0 when it needs
  // one (it is known, or its ID is another entry's).
  std::uint32_t ListedOnlyId(std::string_view identifier, std::uint32_t parent);
  // KnownDn, giving a listed-only ID its place first.
  bool DnOfId(std::uint32_t id, std::string* dn);
  // The container whose listing is being read: its ID, DN and dotted name.
  struct ListingParent {
    std::uint32_t id = 0;
    const std::string* dn = nullptr;
    const DName* name = nullptr;
  };
  ListingParent listingParent;
  // The DNs of entries named by uid (uid=jdoe,ou=people,...), by NameKey:
  // their dotted names (CN=jdoe.OU=people...) do not spell them.
  std::unordered_map<std::string, std::string> uidDns;

  struct CachedEntry {
    EntryInfo info;
    Clock::time_point at;
  };
  std::unordered_map<std::string, CachedEntry> entries;  // by NameKey
  // Light look-ups (ID, name and class only), by NameKey: a listing's
  // container is looked up again for every reply.
  std::unordered_map<std::string, CachedEntry> lightEntries;
  std::unordered_map<std::string, std::pair<std::string, Clock::time_point>> childTypes;
  struct Listing {
    std::uint32_t parent;
    std::vector<EntryInfo> items;
    Clock::time_point at;
  };
  std::unordered_map<std::uint32_t, std::pair<std::uint32_t, Clock::time_point>> counts;
  std::deque<Listing> listings;  // newest first
  // A listing read page by page for the requests that go on through it:
  // only the page at hand and the one before it are held.
  struct Stream {
    std::uint32_t parent = 0;
    std::string dn;
    DName name;                     // the container's dotted name
    std::string cookie;             // for the next page; empty: the page at hand is the last
    std::set<std::string> cookies;  // every cookie the server gave
    Clock::time_point end;          // the listing's bound
    std::uint64_t connection = 0;   // the connection the search runs on
    std::size_t pages = 0;
    std::size_t base = 0;           // position of the page's first entry
    std::vector<EntryInfo> page;
    int ahead = 0;                  // the request for the next page, sent ahead; 0: none
    std::uint64_t token = 0;        // tells this listing's paged requests from others'
    std::size_t raw = 0;            // entries the server has sent so far
    std::size_t previousBase = 0;    // position of the page before's first entry
    std::vector<EntryInfo> previous;  // the page before
    ldap::HashSet leaves;           // the CN values listed so far, hashed
  };
  std::list<Stream> streams;  // most recently used first
  std::uint64_t connections = 0;  // connections made so far
  // The server keeps the paging state of one search per connection: the
  // last one asked for. Which listing that was (0: none of them), whose
  // paged request is being sent, and the last listing's token.
  std::uint64_t pagedBy = 0;
  std::uint64_t sendingFor = 0;
  std::uint64_t streamTokens = 0;
  // Names the listing whose requests are sent while it lives.
  struct SendingFor {
    Impl& impl;
    SendingFor(Impl& i, std::uint64_t token) : impl(i) { impl.sendingFor = token; }
    ~SendingFor() { impl.sendingFor = 0; }
  };
  std::function<void(std::size_t)> pageObserver;

  explicit Impl(LdapSettings settings);

  ~Impl();

  // What every call of the store holds: the store to itself, and SIGPIPE off.
  struct Call {
    std::lock_guard<std::recursive_mutex> lock;
    NoSigPipe quiet;
    explicit Call(Impl& impl) : lock(impl.mutex) {}
  };

  // ---- the connection ----

  Clock::time_point Deadline() const { return Clock::now() + std::chrono::seconds(s.timeoutSeconds); }

  void Drop();

  void ForgetReads();

  bool UsesTls(const std::string& uri) const { return s.startTls || uri.rfind("ldaps:", 0) == 0; }

  // The servers of the directory in the order they are tried.
  const std::vector<std::string>& Uris() const { return s.uris.empty() ? single : s.uris; }
  // The servers in the order a new connection tries them.
  std::vector<std::string> ConnectOrder() const;
  std::vector<std::string> single;

  // Reads the bind password; false when it cannot be had.
  bool BindPassword(Secret* out) const;

  // Waits for the end of request `msgid`, handing each entry to `onEntry`.
  // Returns the final message (the caller frees it), or nullptr with the
  // library's code in `*code`.
  // Search continuation references go to `references` when given.
  LDAPMessage* Await(LDAP* h, int msgid, Clock::time_point deadline, const std::function<void(LDAPMessage*)>& onEntry,
                     int* code, std::vector<std::string>* references = nullptr);

  // A new handle to the server with the connection settings, connected (and
  // TLS in place); a directory code on failure.
  int Open(const std::string& uri, LDAP** out);

  // Waits for the result of request `msgid` and parses it: LDAP_SUCCESS with
  // the server's result code in `*err`, or the library's code of the failure.
  int AwaitResult(LDAP* h, int msgid, int* err);

  // A simple bind on `h`; a directory code.
  int Bind(LDAP* h, const std::string& dn, Secret& password);

  // Connects to the first of the servers that answers, each tried within
  // the connect time-out.
  int Connect();

  // ---- referrals ----

  // Whether the call's context lets the client follow referrals.
  static bool ReferralsAllowed() { return (CallContextFlags() & DCV_DISALLOW_REFERRALS) == 0; }

  // A connection to the server of a referral's URL, bound as the store's
  // identity over the same TLS settings; kept for the next referral there.
  int Referred(const std::string& url, LDAP** out);

  // Goes on with a search at the first server of `urls` that answers (a
  // referral result, or one continuation reference); `hops` referrals were
  // followed before, to the places in `seen`. `scope` applies where a URL
  // names none.
  int FollowSearch(const std::vector<std::string>& urls, const std::string& base, int scope, const std::string& filter,
                   const char* const* attrs, const std::function<void(const RawEntry&)>& onEntry, int hops,
                   std::set<std::string>* seen);

  // A whole search, page by page, on a referred server's connection.
  int SearchAt(LDAP* h, const std::string& base, int scope, const std::string& filter, const char* const* attrs,
               const std::function<void(const RawEntry&)>& onEntry, int hops, std::set<std::string>* seen);

  // Hands the names of continuation references to `onEntry` when the search
  // asks for names only; false (and nothing done) otherwise.
  bool NamesFromReferences(std::vector<std::string>* refs, int scope, const char* const* attrs,
                           const std::function<void(const RawEntry&)>& onEntry);

  // The continuation references of a search made at `base` with `scope`.
  int FollowReferences(const std::vector<std::string>& refs, const std::string& base, int scope,
                       const std::string& filter, const char* const* attrs,
                       const std::function<void(const RawEntry&)>& onEntry, int hops, std::set<std::string>* seen);

  // A failed request: the connection goes when it cannot be trusted. A
  // connection that breaks once open is a transport failure, whatever
  // libldap calls it.
  int Fail(int code);

  // ---- searching ----

  // One search, page by page when `paged`; each entry goes to `onEntry`. A
  // connection kept from earlier calls may have died in between (a server
  // restarted): a search that finds it so before any entry arrived is made
  // once more on a new connection.
  // `observe`: a listing, whose pages the page observer sees.
  int Search(const std::string& base, int scope, const std::string& filter, const char* const* attrs, bool paged,
             const std::function<void(const RawEntry&)>& onEntry, bool observe = false);

  int SearchOnce(const std::string& base, int scope, const std::string& filter, const char* const* attrs, bool paged,
                 const std::function<void(const RawEntry&)>& onEntry, bool observe, bool* delivered);

  // After a page that asks for more: a page that brought nothing (not
  // `progressed`) with a cookie given before, or a listing past its bound,
  // ends it. The server still holds the search, so the connection goes
  // with it.
  int CheckPaging(const std::string& cookie, Clock::time_point listEnd, std::set<std::string>* cookies,
                  bool progressed);

  // One request of a search: all of it, or with `cookie` the page that
  // cookie asks for (empty: the first page), `cookie` then set to the
  // server's cookie for the next one (empty: that was the last). Each
  // request waits no longer than the time-out, nor past `end`.
  int SearchPage(const std::string& base, int scope, const std::string& filter, const char* const* attrs,
                 std::string* cookie, Clock::time_point end, const std::function<void(const RawEntry&)>& onEntry,
                 bool* delivered, int pageSize = -1);
  // The two halves of SearchPage: sending the request (its message ID in
  // `*msgid`), and reading its answer.
  int SendPage(const std::string& base, int scope, const std::string& filter, const char* const* attrs,
               const std::string* cookie, int pageSize, int* msgid);
  int CollectPage(int msgid, const std::string& base, int scope, const std::string& filter, const char* const* attrs,
                  std::string* cookie, Clock::time_point end, const std::function<void(const RawEntry&)>& onEntry,
                  bool* delivered);

  // Entries the search at hand has delivered, over all its requests: for
  // the message of a listing a server's limit stopped.
  std::size_t listed = 0;

  // One line on standard error for a result the operator must act on (a
  // limit that stopped a listing, TLS the server requires); nothing for
  // the others.
  void Explain(int ldapResult) const;

  // The one entry at `dn` (base search); ERR_NO_SUCH_ENTRY when absent.
  int ReadOne(const std::string& dn, const char* const* attrs, RawEntry* out);

  void ReadSchema();

  static const char* NdsName(LDAPSchemaExtensionItem** extensions);

  void LearnSchema(const RawEntry& schema);

  // ---- entries ----

  static std::uint64_t Key(std::string_view identifier);

  // `rdnLength` nonzero: `dn` lies directly below `parent`, and its first
  // part is that long.
  std::uint32_t IdFor(std::string_view identifier, const std::string& dn, std::uint32_t parent = 0,
                      std::size_t rdnLength = 0);

  // The base class and class definition of a structural class, remembered:
  // listings ask for the same few classes again and again.
  std::pair<const std::string*, const ClassDef*> ClassOf(const RawEntry& raw);
  std::unordered_map<std::string, std::pair<std::string, const ClassDef*>> classMemo;
  std::string scratchClass;

  // The naming contexts, from the server when the settings name none.
  int KnowBases() { return basesKnown ? 0 : Connect(); }

  // The naming contexts listed below the root: those one part long. Deeper
  // ones are reached through their containers.
  int TopBases(std::vector<DName>* out);

  bool WithinBases(const DName& name) const {
    return std::any_of(bases.begin(), bases.end(), [&](const DName& b) { return IsWithin(name, b); });
  }

  int RootInfo(EntryInfo* out);

  // Converts what needs no more requests; `followup` tells what does.
  bool Convert(const RawEntry& raw, EntryInfo* out, Followup* followup);

  // The DN of a dotted name: the one kept for an entry named by uid, else
  // the one the name spells.
  bool DnOf(const DName& name, std::string* dn) const;

  // Leaves out the second of two children with one name (a user named by
  // uid beside one named by cn), with a line on standard error; `uidNamed`
  // tells, item by item, which are named by uid, and `seen` holds the CN
  // values of the listing so far.
  void DropTwins(std::vector<EntryInfo>* items, const std::vector<bool>& uidNamed, const std::string& parentDn,
                 ldap::HashSet* seen);

  // The number of subordinates of a container whose server does not say:
  // from the listing being paged through (the entry points look the
  // container up again for every reply). A container looked up by itself
  // (`listIt`) is listed, and the listing kept for the NWDSList that
  // usually follows; one listed below another is counted, names only.
  int CountChildren(EntryInfo* info, bool listIt);

  int Complete(EntryInfo* info, const Followup& f, bool resolving);

  bool Fresh(Clock::time_point at) const {
    return s.cacheSeconds > 0 && Clock::now() - at < std::chrono::seconds(s.cacheSeconds);
  }

  // How much a look-up finds out: a container's subordinates are counted
  // (kChild) or listed, the listing kept for the request that usually
  // follows (kFull); kLight leaves the count and an alias's target alone,
  // for callers that only need the entry's ID, name and class.
  enum Depth { kLight, kChild, kFull };

  // An entry by name, aliases as they are.
  int Lookup(const DName& name, EntryInfo* out, Depth depth = kFull);

  int ById(std::uint32_t id, EntryInfo* out, Depth depth = kFull);

  // The name of the entry with `id`, checked against the server.
  int NameOf(std::uint32_t id, DName* name, std::string* dn);

  int List(std::uint32_t parentId, std::vector<EntryInfo>* out);

  // ---- listings read page by page ----

  // Reads the stream's next page in place of the one at hand, and completes
  // its entries.
  int NextPage(Stream& st);

  // Tells the server that a listing read part of the way is done with (a
  // zero-size page request with its cookie).
  void Abandon(const Stream& st);

  std::list<Stream>::iterator FindStream(std::uint32_t parentId, std::size_t start) {
    return std::find_if(streams.begin(), streams.end(), [&](const Stream& st) {
      const std::size_t from = st.previous.empty() ? st.base : st.previousBase;
      return st.parent == parentId && from <= start && start <= st.base + st.page.size();
    });
  }

  // Subordinates from `start` of a listing read page by page: a request that
  // goes on where an open listing stands takes its page at hand and the
  // pages after it; any other starts a new listing.
  int ListStreamed(std::uint32_t parentId, std::size_t start, std::size_t maxCount, std::vector<EntryInfo>* out,
                   std::size_t* total);

  // Keeps a listing for the requests that page through it, in place of an
  // older one of the same container; a few containers at a time.
  const Listing& Keep(std::uint32_t parentId, std::vector<EntryInfo>&& items, Clock::time_point at);

  const Listing* FindListing(std::uint32_t parentId) const;

  std::string ChildType(const DName& parent, std::string_view value);

  // ---- attributes ----

  int ReadAttr(std::uint32_t id, std::string_view attrName, AttributeValues* out);

  int ReadAll(std::uint32_t id, std::vector<AttributeValues>* out);

  // ---- identity and passwords ----

  int Me(std::optional<DName>* out);

  // The target of a password operation: a User the login may address.
  int PasswordTarget(std::uint32_t id, std::string* dn);

  // Password Modify (RFC 3062) on the connection; the LDAP result code in
  // `*ldapCode`, a directory code returned.
  int PasswordModify(const std::string& dn, Secret* oldPassword, Secret& newPassword, int* ldapCode);
  // Sends it on `h`: LDAP_SUCCESS with the server's result in `*err` and
  // the referral's URLs in `*refs`, or the library's code.
  int PasswordModifyOn(LDAP* h, const std::string& dn, Secret* oldPassword, Secret& newPassword, int* err,
                       std::vector<std::string>* refs);

  // Waits for a write's result: LDAP_SUCCESS with the server's result in
  // `*err` and a referral's URLs in `*refs`, or the library's code.
  int AwaitWrite(LDAP* h, int msgid, int* err, std::vector<std::string>* refs);

  // Sends a write with `send` on the connection and, where a read-only
  // replica refers it elsewhere, to the server it names; the LDAP result in
  // `*ldapCode`, a directory code returned.
  int Write(const std::function<int(LDAP*, int*, std::vector<std::string>*)>& send, int* ldapCode);

  // Removes an object's password (an empty new password).
  int ClearPassword(const std::string& dn);

  // Whether `password` is the password of `dn`: a bind on a connection of
  // its own.
  int Verify(const std::string& dn, std::string_view password);

  int SetPw(std::uint32_t id, std::string_view newPassword);

  int ChangePw(std::uint32_t id, std::string_view oldPassword, std::string_view newPassword);
};

}  // namespace nwc
