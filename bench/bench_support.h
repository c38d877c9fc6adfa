// Helpers of the benchmarks: running this same program again in a mode of
// its own (so that a figure such as peak memory belongs to one program
// alone), medians, and a network description with a big generated container.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_command.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

struct ChildRun {
  double seconds = 0;  // from the fork to the child's end
  long maxRssKb = 0;   // the child's own peak
  int status = -1;     // exit code, -1 when it did not exit
};

// Runs this program again with the arguments. Call it while this process is
// still small: a forked child starts with its parent's high-water mark.
inline ChildRun RunSelf(const std::vector<std::string> &args) {
  ChildRun r;
  std::vector<char *> argv;
  static char self[] = "/proc/self/exe";
  argv.push_back(self);
  std::vector<std::string> copies = args;
  for (std::string &arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  if (pid < 0) return r;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.seconds = SecondsSince(start);
  r.maxRssKb = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The name of the n-th generated user ("USER%06d").
inline std::string UserName(long n) {
  char name[32];
  std::snprintf(name, sizeof name, "USER%06ld", n);
  return name;
}

// A network whose O=ACME holds OU=BIG with `users` generated users; the
// workstation is logged in to FS1 as ADMIN.ACME.
inline void WriteBigNetwork(const std::filesystem::path &file, long users) {
  std::ofstream out(file);
  out << R"({"tree": {"name": "BENCH_TREE", "objects": [
  {"name": "O=ACME", "class": "Organization", "objects": [
    {"name": "CN=ADMIN", "class": "User"},
    {"name": "OU=BIG", "class": "Organizational Unit", "objects": [
      {"generate": {"count": )"
      << users << R"(, "class": "User", "name": "USER%06d"}}]}]}]},
  "servers": [{"name": "FS1", "version": "4.11", "tree": "BENCH_TREE", "context": "O=ACME"}],
  "workstation": {"identity": "CN=ADMIN.O=ACME",
    "connections": [{"server": "FS1", "user": "CN=ADMIN.O=ACME", "primary": true}]}}
)";
}

// ---- a throw-away slapd (scripts/slapd-demo.sh) ---------------------------

// A loopback port nobody listens on at the moment.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  if (fd >= 0) close(fd);
  return port;
}

inline bool SlapdInstalled() { return access("/usr/sbin/slapd", X_OK) == 0; }

// Users "U%06d" in the container ou=<name>,o=ACME, as the demo keeps users.
inline void AppendLdifContainer(std::ostream &ldif, const std::string &name, long users) {
  const std::string container = "ou=" + name + ",o=ACME";
  ldif << "dn: " << container << "\nobjectClass: organizationalUnit\nobjectClass: top\nou: " << name << "\n\n";
  char entry[512];
  for (long i = 1; i <= users; ++i) {
    std::snprintf(entry, sizeof entry,
                  "dn: cn=U%06ld,%s\nobjectClass: ndsUser\nobjectClass: ndsOrganizationalPerson\n"
                  "objectClass: ndsPerson\nobjectClass: top\ncn: U%06ld\nsn: User\nfullName: Bench User %ld\n"
                  "telephoneNumber: (312) 555-%04ld\nmail: u%06ld@acme.com\n\n",
                  i, container.c_str(), i, i, i % 10000, i);
    ldif << entry;
  }
}

// Starts slapd-demo.sh's server in `dir` with the demo directory and the
// LDIF file; the port, or 0 when it could not be started.
inline int StartSlapd(const std::filesystem::path &script, const std::filesystem::path &dir,
                      const std::filesystem::path &ldif) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = FreePort();
    std::string out;
    const int status = testsupport::RunCommand({"bash", script.string(), "start", "--dir", dir.string(), "--port",
                                                std::to_string(port), "--ldif", ldif.string()},
                                               &out);
    if (status == 0 && out.find("pid=") != std::string::npos) return port;
    std::filesystem::remove_all(dir);
  }
  return 0;
}

inline void StopSlapd(const std::filesystem::path &script, const std::filesystem::path &dir) {
  std::string out;
  testsupport::RunCommand({"bash", script.string(), "stop", dir.string()}, &out);
}

}  // namespace bench
