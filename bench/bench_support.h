// Helpers of the benchmarks: running this same program again in a mode of
// its own (so that a figure such as peak memory belongs to one program
// alone), medians, and a network description with a big generated container.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

}  // namespace bench
