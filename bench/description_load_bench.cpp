// Loading a network description whose container generates N users (the
// description's bulk generation), for N = 1,000, 10,000 and 100,000: the
// load time and the time per object at each size. Loading should be linear:
// the time per object stays flat as N grows.
//
//   description_load_bench [--rounds R]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "network.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A tree with one container of `count` generated users (each with a full name
// and a telephone number), served by a directory server whose bindery context
// is that container.
std::string Description(long count) {
  return R"({"tree": {"name": "BULK", "objects": [{"name": "O=ORG", "class": "Organization", "objects": [
      {"name": "OU=MANY", "class": "Organizational Unit", "objects": [
        {"generate": {"count": )" +
         std::to_string(count) + R"(, "class": "User", "name": "USER%06d",
                      "attributes": {"Full Name": "User %d", "Telephone Number": "555-%04d"}}}]}]}]},
    "servers": [{"name": "SRV", "tree": "BULK", "context": "O=ORG", "binderyContext": "OU=MANY.O=ORG",
                 "volumes": [{"name": "SYS", "path": "."}]}]})";
}

// The load alone: the network of the round before is let go first, as a
// program starting up has none.
double LoadSeconds(const std::string& json, const fs::path& dir) {
  nwc::ResetNetwork();
  const auto t0 = Clock::now();
  const bool ok = nwc::LoadNetworkFromString(json, dir);
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  if (!ok) {
    fprintf(stderr, "the description did not load\n");
    exit(1);
  }
  return s;
}

std::vector<long> Sizes() {
  if (const char* only = getenv("NWC_BENCH_SIZE")) return {atol(only)};
  return {1000L, 10000L, 100000L};
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 3;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::max(1, atoi(argv[++i]));
  }
  const fs::path dir = fs::temp_directory_path();
  printf("%10s %12s %16s\n", "objects", "load (s)", "per object (us)");
  double firstPer = 0;
  double lastPer = 0;
  for (long n : Sizes()) {
    const std::string json = Description(n);
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) best = std::min(best, LoadSeconds(json, dir));
    const double per = best / static_cast<double>(n) * 1e6;
    if (firstPer == 0) firstPer = per;
    lastPer = per;
    printf("%10ld %12.3f %16.2f\n", n, best, per);
  }
  printf("per object at 100,000 / at 1,000: %.2fx (1.0x is linear)\n", lastPer / firstPer);
  return 0;
}
