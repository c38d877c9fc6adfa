// Listing a one-level container of 100,000 entries from a throw-away slapd:
// the system's ListSubordinates (the directory unit over the real client,
// its libraries loaded by name, with an LDAP network description) against
// `ldapsearch -LLL -x -E pr=1000/noprompt -s one` on the same container of
// the same server, in the same run. Every figure is taken in a process of
// its own, started from this small one, so that each peak memory belongs to
// one program alone. Prints, with their ratios:
//   - the whole listing's time;
//   - the time to the first entry (ldapsearch: its first "dn:" line; the
//     client: the first reply of the store's streamed listing);
//   - each program's peak memory, and the client's own memory while it
//     streams the listing without keeping it (what it holds beyond the list
//     it returns).
//
//   ldap_list_bench [--entries N] [--rounds R]
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "directory.h"
#include "netware/nwnds.h"
#include "network.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::SecondsSince;

namespace {

const char* const kPasswordVariable = "NWC_BENCH_LDAP_PASSWORD";
const char* const kContainer = "ou=BIG,o=ACME";

struct Search {
  double seconds = 0;  // fork to end
  double first = 0;    // fork to the first entry
  long maxRssKb = 0;
  long entries = 0;
  int status = -1;
};

// ldapsearch on the container, its output read (and its entries counted) as
// it streams.
Search Ldapsearch(const std::string& uri) {
  Search r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execlp("ldapsearch", "ldapsearch", "-LLL", "-x", "-H", uri.c_str(), "-E", "pr=1000/noprompt", "-s", "one", "-b",
           kContainer, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buf[1 << 16];
  ssize_t n;
  char last = '\n';
  while ((n = read(fds[0], buf, sizeof buf)) > 0) {
    for (ssize_t i = 0; i + 2 < n; ++i) {
      if ((i == 0 ? last : buf[i - 1]) == '\n' && buf[i] == 'd' && buf[i + 1] == 'n' && buf[i + 2] == ':') {
        if (r.entries++ == 0) r.first = SecondsSince(start);
      }
    }
    last = buf[n - 1];
  }
  close(fds[0]);
  int st = 0;
  rusage usage{};
  wait4(pid, &st, 0, &usage);
  r.seconds = SecondsSince(start);
  r.maxRssKb = usage.ru_maxrss;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

long SelfRssKb() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long SelfMaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// ---- the client's side, each in a process of its own -------------------------

// "list": the system's ListSubordinates, timed from the call to its end.
// "first": the store's first reply of the container's listing, timed from a
// fresh network (connection, login and look-up included, as ldapsearch's
// time includes its own).
// "stream": the whole listing read through the store reply by reply, each
// dropped once read: the client's own memory during a listing.
// Writes "<seconds> <entries> <kib>" to `out`.
int Child(const std::string& mode, const std::string& out) {
  double seconds = 0;
  long entries = 0, kib = 0;
  if (mode == "list") {
    auto nds = std::make_unique<TNWNDS>();
    if (!InitDirectoryClient()) return 1;
    const long before = SelfRssKb();
    const auto start = Clock::now();
    TNWObjList list = ListSubordinates("[Root]", "OU=BIG.O=ACME");
    seconds = SecondsSince(start);
    entries = static_cast<long>(list.size());
    kib = SelfMaxRssKb() - before;
    DoneDirectoryClient();
  } else {
    const auto start = Clock::now();
    nwc::Network* net = nwc::CurrentNetwork();
    nwc::DirectoryStore* store = net != nullptr ? net->Store() : nullptr;
    if (store == nullptr) return 1;
    nwc::DName name;
    name.parts = {{"OU", "BIG"}, {"O", "ACME"}};
    nwc::EntryInfo big;
    if (store->ResolveLight(name, false, &big) != 0) return 1;
    std::vector<nwc::EntryInfo> reply;
    std::size_t total = 0;
    const std::size_t perReply = 1000;
    if (mode == "first") {
      if (store->ListSubordinates(big.id, 0, 1, &reply, &total) != 0 || reply.empty()) return 1;
      seconds = SecondsSince(start);
      entries = 1;
    } else {
      const long before = SelfRssKb();
      for (std::size_t at = 0;; at += reply.size()) {
        if (store->ListSubordinates(big.id, at, perReply, &reply, &total) != 0) return 1;
        if (reply.empty()) break;
        entries += static_cast<long>(reply.size());
        reply = {};
      }
      seconds = SecondsSince(start);
      kib = SelfMaxRssKb() - before;
    }
  }
  std::ofstream(out) << seconds << ' ' << entries << ' ' << kib << '\n';
  return 0;
}

struct ClientRun {
  double seconds = 0;
  long entries = 0, ownKib = 0, maxRssKb = 0;
  bool ok = false;
};

ClientRun RunClient(const std::string& mode, const fs::path& dir) {
  ClientRun r;
  const fs::path out = dir / ("child-" + mode + ".txt");
  fs::remove(out);
  const bench::ChildRun c = bench::RunSelf({"--child", mode, out.string()});
  std::ifstream in(out);
  r.ok = c.status == 0 && static_cast<bool>(in >> r.seconds >> r.entries >> r.ownKib);
  r.maxRssKb = c.maxRssKb;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return Child(argv[2], argv[3]);
  long entries = 100000;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--entries") == 0) entries = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  if (entries < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: %s [--entries N] [--rounds R]\n", argv[0]);
    return 2;
  }
  if (!bench::SlapdInstalled()) {
    std::fprintf(stderr, "slapd is not installed (scripts/packages.txt)\n");
    return 1;
  }

  char pattern[] = "/tmp/ldap-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path script = fs::path(NW_SOURCE_DIR) / "scripts/slapd-demo.sh";
  {
    std::ofstream ldif(dir / "big.ldif");
    bench::AppendLdifContainer(ldif, "BIG", entries);
  }
  std::printf("loading %ld entries into a throw-away slapd...\n", entries);
  std::fflush(stdout);
  const int port = bench::StartSlapd(script, dir / "slapd", dir / "big.ldif");
  if (port == 0) {
    std::fprintf(stderr, "could not start slapd\n");
    fs::remove_all(dir);
    return 1;
  }
  const std::string uri = "ldap://127.0.0.1:" + std::to_string(port) + "/";

  // The network: a server, and the directory on the LDAP server.
  setenv(kPasswordVariable, "NOVELL", 1);
  {
    std::ofstream net(dir / "network.json");
    net << R"({"tree": {"name": "ACMECORP"},
  "directory": {"ldap": {"uri": ")"
        << uri << R"(", "base": "o=ACME", "bindDn": "cn=ADMIN,o=ACME", "passwordEnv": ")" << kPasswordVariable
        << R"("}},
  "servers": [{"name": "ACME-FS1", "volumes": [{"name": "SYS", "path": "."}]}]})";
  }
  setenv("NWCLIENT_NETWORK", (dir / "network.json").c_str(), 1);

  Ldapsearch(uri);  // the server's cache warmed once, untimed
  std::vector<double> searchTimes, searchFirsts, listTimes, clientFirsts;
  long searchRss = 0, searchEntries = 0, listRss = 0, listed = 0, streamOwn = 0, streamRss = 0;
  bool ok = true;
  for (int round = 0; round < rounds && ok; ++round) {
    const Search s = Ldapsearch(uri);
    const ClientRun list = RunClient("list", dir);
    const ClientRun first = RunClient("first", dir);
    const ClientRun stream = RunClient("stream", dir);
    ok = s.status == 0 && list.ok && first.ok && stream.ok;
    if (!ok) {
      std::fprintf(stderr, "a run failed (ldapsearch %d, client %d/%d/%d)\n", s.status, list.ok, first.ok, stream.ok);
      break;
    }
    searchTimes.push_back(s.seconds);
    searchFirsts.push_back(s.first);
    listTimes.push_back(list.seconds);
    clientFirsts.push_back(first.seconds);
    searchRss = std::max(searchRss, s.maxRssKb);
    searchEntries = s.entries;
    listRss = std::max(listRss, list.maxRssKb);
    listed = list.entries;
    streamOwn = std::max(streamOwn, stream.ownKib);
    streamRss = std::max(streamRss, stream.maxRssKb);
    std::printf("round %d: ldapsearch %.3f s (first entry %.4f s), ListSubordinates %.3f s (%ld entries), "
                "client's first entry %.4f s, streamed listing %ld KiB of its own\n",
                round + 1, s.seconds, s.first, list.seconds, list.entries, first.seconds, stream.ownKib);
    std::fflush(stdout);
  }
  bench::StopSlapd(script, dir / "slapd");
  fs::remove_all(dir);
  if (!ok || listTimes.empty()) return 1;

  const double ts = bench::Median(searchTimes), tl = bench::Median(listTimes);
  const double fs_ = bench::Median(searchFirsts), fc = bench::Median(clientFirsts);
  std::printf("\ncontainer of %ld entries, %d rounds (medians; each figure from a process of its own)\n", entries,
              rounds);
  std::printf("  ldapsearch -LLL -x -E pr=1000/noprompt -s one: %.3f s, first entry %.4f s, %ld entries, peak RSS %ld KiB\n",
              ts, fs_, searchEntries, searchRss);
  std::printf("  ListSubordinates (system, LDAP store):          %.3f s, %ld entries, peak RSS %ld KiB\n", tl, listed,
              listRss);
  std::printf("  the store's first reply:                        %.4f s\n", fc);
  std::printf("  the store streaming the listing:                %ld KiB of its own (peak RSS %ld KiB)\n", streamOwn,
              streamRss);
  std::printf("  ratio time ListSubordinates / ldapsearch:   %.2f (target <= 1.0)\n", tl / ts);
  std::printf("  ratio first entry client / ldapsearch:      %.2f (target <= 2)\n", fc / fs_);
  return listed == entries && searchEntries == entries ? 0 : 1;
}
