// Listing a one-level container of 100,000 entries from a throw-away slapd:
// the system's ListSubordinates (the directory unit over the real client,
// its libraries loaded by name, with an LDAP network description) against
// `ldapsearch -LLL -x -E pr=1000/noprompt -s one` on the same container of
// the same server, in the same run. Prints both times, their ratio and the
// peak memory of each.
//
//   ldap_list_bench [--entries N] [--rounds R]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "netware/nwnds.h"
#include "network.h"
#include "support/run_command.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kPasswordVariable = "NWC_BENCH_LDAP_PASSWORD";
const char* const kContainer = "ou=BIG,o=ACME";

std::string Run(const std::vector<std::string>& args, int* status) {
  std::string out;
  *status = testsupport::RunCommand(args, &out);
  return out;
}

struct ChildRun {
  double seconds = 0;
  long maxRssKb = 0;
  long entries = 0;
  int status = -1;
};

// ldapsearch on the container. Its output goes to /dev/null, or, with
// `count`, to this process, which counts the entries as they stream.
ChildRun Ldapsearch(const std::string& uri, bool count) {
  ChildRun r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  const auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (count) {
      dup2(fds[1], 1);
    } else {
      freopen("/dev/null", "w", stdout);
    }
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
    for (ssize_t i = 0; i + 3 < n; ++i) {
      if ((i == 0 ? last : buf[i - 1]) == '\n' && buf[i] == 'd' && buf[i + 1] == 'n' && buf[i + 2] == ':') ++r.entries;
    }
    last = buf[n - 1];
  }
  close(fds[0]);
  int st = 0;
  rusage usage{};
  wait4(pid, &st, 0, &usage);
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  r.maxRssKb = usage.ru_maxrss;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A loopback port nobody listens on at the moment.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  if (fd >= 0) close(fd);
  return port;
}

long SelfMaxRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long SelfRssKb() {
  std::ifstream in("/proc/self/statm");
  long pages = 0, resident = 0;
  in >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
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

  char pattern[] = "/tmp/ldap-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path script = fs::path(NW_SOURCE_DIR) / "scripts/slapd-demo.sh";

  // The container: users as the demo keeps them.
  {
    std::ofstream ldif(dir / "big.ldif");
    ldif << "dn: " << kContainer << "\nobjectClass: organizationalUnit\nobjectClass: top\nou: BIG\n\n";
    char line[512];
    for (long i = 1; i <= entries; ++i) {
      std::snprintf(line, sizeof line,
                    "dn: cn=U%06ld,%s\nobjectClass: ndsUser\nobjectClass: ndsOrganizationalPerson\n"
                    "objectClass: ndsPerson\nobjectClass: top\ncn: U%06ld\nsn: User\nfullName: Bench User %ld\n"
                    "telephoneNumber: (312) 555-%04ld\nmail: u%06ld@acme.com\n\n",
                    i, kContainer, i, i, i % 10000, i);
      ldif << line;
    }
  }
  std::printf("loading %ld entries into a throw-away slapd...\n", entries);
  std::fflush(stdout);
  int status = 0;
  std::string port = "0";
  std::string started;
  for (int attempt = 0; attempt < 5 && started.find("pid=") == std::string::npos; ++attempt) {
    port = std::to_string(FreePort());
    started = Run({"bash", script.string(), "start", "--dir", (dir / "slapd").string(), "--port", port, "--ldif",
                   (dir / "big.ldif").string()},
                  &status);
    if (status != 0) fs::remove_all(dir / "slapd");
  }
  if (status != 0) {
    std::fprintf(stderr, "could not start slapd (is it installed? scripts/packages.txt)\n");
    fs::remove_all(dir);
    return 1;
  }
  const std::string uri = "ldap://127.0.0.1:" + port + "/";

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

  // The server's cache warmed once, untimed, and the container checked.
  const long inContainer = Ldapsearch(uri, true).entries;

  std::vector<double> searchTimes, systemTimes;
  long searchRss = 0, searchEntries = 0, listed = 0;
  const long rssBefore = SelfRssKb();
  for (int round = 0; round < rounds; ++round) {
    const ChildRun s = Ldapsearch(uri, false);
    if (s.status != 0) std::fprintf(stderr, "ldapsearch ended with %d\n", s.status);
    searchTimes.push_back(s.seconds);
    searchRss = std::max(searchRss, s.maxRssKb);
    searchEntries = inContainer;

    // A fresh client each round: a new network, store and connection.
    nwc::ResetNetwork();
    auto nds = std::make_unique<TNWNDS>();
    if (!InitDirectoryClient()) {
      std::fprintf(stderr, "the directory client did not start (last error %d)\n", DSLastError);
      break;
    }
    const auto start = Clock::now();
    TNWObjList list = ListSubordinates("[Root]", "OU=BIG.O=ACME");
    systemTimes.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    listed = static_cast<long>(list.size());
    DoneDirectoryClient();
    nds.reset();
    std::printf("round %d: ldapsearch %.3f s, ListSubordinates %.3f s (%ld entries)\n", round + 1, s.seconds,
                systemTimes.back(), listed);
    std::fflush(stdout);
  }
  const long rssPeak = SelfMaxRssKb();

  Run({"bash", script.string(), "stop", (dir / "slapd").string()}, &status);
  fs::remove_all(dir);
  if (systemTimes.empty()) return 1;

  const double ts = Median(searchTimes), tl = Median(systemTimes);
  std::printf("\ncontainer of %ld entries, %d rounds (medians)\n", entries, rounds);
  std::printf("  ldapsearch -LLL -x -E pr=1000/noprompt -s one: %.3f s, %ld entries, peak RSS %ld KiB\n", ts,
              searchEntries, searchRss);
  std::printf("  ListSubordinates (system, LDAP store):          %.3f s, %ld entries, peak RSS %ld KiB (%ld KiB before)\n",
              tl, listed, rssPeak, rssBefore);
  std::printf("  ratio ListSubordinates / ldapsearch: %.2f (target <= 1.5)\n", tl / ts);
  return listed == entries && searchEntries == entries ? 0 : 1;
}
