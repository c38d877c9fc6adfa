// A throw-away slapd for the LDAP tests, started with scripts/slapd-demo.sh
// on a free loopback port and stopped (its folder removed) at the end.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "client_test_util.h"
#include "support/run_command.h"
#include "directory.h"
#include "ldap_store.h"

namespace nwctest {

inline std::filesystem::path SourceRoot() {
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

// A loopback port nobody listens on at the moment.
inline int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  socklen_t len = sizeof a;
  int port = 0;
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  if (fd >= 0) close(fd);
  return port;
}

using testsupport::RunCommand;

inline bool SlapdInstalled() {
  for (const char* p : {"/usr/sbin/slapd", "/usr/bin/slapd"}) {
    if (access(p, X_OK) == 0) return true;
  }
  return false;
}

// Stops a server as a hung one is: it still takes connections but answers
// nothing. A stop takes effect after kill() returns, and a request sent at
// once could still be answered by a thread not stopped yet, so this waits
// until every thread of the process is stopped. SIGCONT lets it go on.
inline void Freeze(int pid) {
  if (pid <= 0 || kill(pid, SIGSTOP) != 0) return;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  auto allStopped = [&] {
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
      std::ifstream stat(task.path() / "stat");
      std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      // The state follows the command name, which is in parentheses.
      const auto close = text.rfind(')');
      if (close == std::string::npos || close + 2 >= text.size() || text[close + 2] != 'T') return false;
    }
    return !ec;
  };
  for (int i = 0; i < 500 && !allStopped(); ++i) usleep(2000);
}

class Slapd {
 public:
  struct Options {
    int sizeLimit = 500;
    std::vector<std::string> ldif;
    bool demo = true;
    std::string tlsCert, tlsKey;
    bool ldaps = false;
  };

  Slapd() = default;
  Slapd(const Slapd&) = delete;
  Slapd& operator=(const Slapd&) = delete;
  ~Slapd() { Stop(); }

  // Starts the server; a test failure that says why when it cannot.
  // The demo directory with the entries of one more LDIF file.
  bool StartWith(const std::string& ldif) {
    Options o;
    o.ldif = {ldif};
    return Start(o);
  }
  // The same with the entries given as LDIF text.
  bool StartWithEntries(const std::string& ldifText) {
    return StartWith(entries_.Write("entries.ldif", ldifText).string());
  }

  bool Start(const Options& options) {
    if (!SlapdInstalled()) {
      ADD_FAILURE() << "slapd is not installed: the LDAP tests need the Debian packages slapd and ldap-utils "
                       "(scripts/packages.txt; scripts/install-deps.sh installs them)";
      return false;
    }
    std::string output;
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = FreePort();
      std::vector<std::string> args = {"bash", (SourceRoot() / "scripts/slapd-demo.sh").string(), "start",
                                       "--port", std::to_string(port_), "--sizelimit", std::to_string(options.sizeLimit)};
      if (!options.demo) args.push_back("--no-demo");
      for (const std::string& f : options.ldif) {
        args.push_back("--ldif");
        args.push_back(f);
      }
      if (!options.tlsCert.empty()) {
        args.insert(args.end(), {"--tls-cert", options.tlsCert, "--tls-key", options.tlsKey});
        if (options.ldaps) {
          ldapsPort_ = FreePort();
          args.insert(args.end(), {"--ldaps-port", std::to_string(ldapsPort_)});
        }
      }
      if (RunCommand(args, &output) == 0) {
        std::istringstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
          auto eq = line.find('=');
          if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
        }
        dir_ = values_["dir"];
        pid_ = std::atoi(values_["pid"].c_str());
        if (!dir_.empty() && pid_ > 0) return true;
      }
    }
    ADD_FAILURE() << "slapd-demo.sh could not start slapd: " << output;
    return false;
  }

  std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(port_) + "/"; }
  std::string LdapsUri() const { return "ldaps://127.0.0.1:" + std::to_string(ldapsPort_) + "/"; }
  int Port() const { return port_; }

  void Signal(int sig) {
    if (pid_ <= 0) return;
    if (sig == SIGSTOP) {
      Freeze(pid_);
    } else {
      kill(pid_, sig);
    }
  }
  // Kills the server outright; Restart brings it back with its data.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    for (int i = 0; i < 200 && kill(pid_, 0) == 0; ++i) usleep(10000);
    pid_ = 0;
  }
  bool Restart() {
    std::string output;
    if (RunCommand({"bash", (SourceRoot() / "scripts/slapd-demo.sh").string(), "restart", dir_}, &output) != 0) {
      ADD_FAILURE() << "slapd did not restart: " << output;
      return false;
    }
    auto at = output.find("pid=");
    pid_ = at == std::string::npos ? 0 : std::atoi(output.c_str() + at + 4);
    return pid_ > 0;
  }
  void Stop() {
    if (dir_.empty()) return;
    if (pid_ > 0) kill(pid_, SIGCONT);
    RunCommand({"bash", (SourceRoot() / "scripts/slapd-demo.sh").string(), "stop", dir_}, nullptr);
    dir_.clear();
    pid_ = 0;
  }

 private:
  TempDir entries_{"nwslapd-entries"};
  std::map<std::string, std::string> values_;
  std::string dir_;
  int pid_ = 0;
  int port_ = 0;
  int ldapsPort_ = 0;
};

// The 389 Directory Server of the test run: ctest's ds389 fixture
// (tests/support/ds389_fixture.sh) starts one with scripts/389ds-demo.sh and
// names it in a file of the build folder (dir=, uri=, ldaps=, ca=, pid=). It
// serves the same organization as the slapd demo in the standard schema and
// binds the same users with the same passwords, so SettingsFor serves both
// servers.
class Ds389 {
 public:
  enum class State { kReady, kNotInstalled, kNotStarted, kBroken };

  Ds389() {
#ifdef NW_389DS_INSTANCE_FILE
    const std::string file = NW_389DS_INSTANCE_FILE;
#else
    const std::string file;
#endif
    std::ifstream in(file);
    if (file.empty() || !in) {
      state_ = State::kNotStarted;
      why_ = "no 389 Directory Server: these tests use the one ctest starts for them (ctest -R Ldap389)";
      return;
    }
    std::string line;
    while (std::getline(in, line)) {
      auto eq = line.find('=');
      if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (values_.count("missing") != 0) {
      state_ = State::kNotInstalled;
      why_ = values_["missing"] + " (Debian package 389-ds-base; scripts/install-deps.sh installs it)";
    } else if (values_["uri"].empty() || Pid() <= 0 || kill(Pid(), 0) != 0) {
      state_ = State::kBroken;
      why_ = "the 389 Directory Server named in " + file + " is not running";
    } else {
      state_ = State::kReady;
    }
  }

  State state() const { return state_; }
  const std::string& Why() const { return why_; }
  std::string Uri() const { return Value("uri"); }
  std::string LdapsUri() const { return Value("ldaps"); }
  std::string CaFile() const { return Value("ca"); }
  int Pid() const { return std::atoi(Value("pid").c_str()); }

 private:
  std::string Value(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? std::string() : it->second;
  }
  std::map<std::string, std::string> values_;
  State state_ = State::kBroken;
  std::string why_;
};

// At the start of a test on the run's 389 server: skips the test where the
// server cannot be had (not installed, not run by ctest), fails it where
// the fixture should have started one and did not.
#define NWC_NEED_389(server)                                               \
  do {                                                                     \
    if ((server).state() == ::nwctest::Ds389::State::kBroken) FAIL() << (server).Why(); \
    if ((server).state() != ::nwctest::Ds389::State::kReady) GTEST_SKIP() << (server).Why(); \
  } while (0)

// ---- comparing two directory stores ------------------------------------------

inline std::string Render(const nwc::Value& v) {
  std::string syntax = std::to_string(v.syntax) + ":";
  if (auto t = v.Text()) return syntax + *t;
  if (auto i = v.Integer()) return syntax + std::to_string(*i);
  if (auto b = v.Boolean()) return syntax + (*b ? "true" : "false");
  if (auto p = v.Path()) return syntax + std::to_string(p->nameSpace) + "|" + p->volume + "|" + p->path;
  if (auto n = v.TypedName()) return syntax + n->name + "|" + std::to_string(n->level) + "|" + std::to_string(n->interval);
  if (auto e = v.Email()) return syntax + std::to_string(e->type) + "|" + e->address;
  if (auto o = v.Octets()) return syntax + std::string(o->begin(), o->end());
  return syntax + "?";
}

// An attribute set as name -> syntax and values in order.
inline std::map<std::string, std::vector<std::string>> Attributes(const nwc::DirectoryStore& store, std::uint32_t id) {
  std::vector<nwc::AttributeValues> all;
  EXPECT_EQ(store.ReadAttributes(id, &all), 0);
  std::map<std::string, std::vector<std::string>> out;
  for (const nwc::AttributeValues& a : all) {
    auto& values = out[nwc::UpperAscii(a.name)];
    values.push_back("syntax " + std::to_string(a.syntax));
    for (const nwc::Value& v : a.values) values.push_back(Render(v));
  }
  return out;
}

inline std::vector<nwc::EntryInfo> Children(const nwc::DirectoryStore& store, std::uint32_t id) {
  std::vector<nwc::EntryInfo> page;
  std::size_t total = 0;
  EXPECT_EQ(store.ListSubordinates(id, 0, SIZE_MAX, &page, &total), 0);
  EXPECT_EQ(page.size(), total);
  std::sort(page.begin(), page.end(),
            [](const nwc::EntryInfo& a, const nwc::EntryInfo& b) { return nwc::FormatName(a.name, false) < nwc::FormatName(b.name, false); });
  return page;
}

inline std::string AliasTargetName(const nwc::DirectoryStore& store, const nwc::EntryInfo& e) {
  if (e.aliasTarget == 0) return "";
  nwc::EntryInfo t;
  EXPECT_EQ(store.EntryById(e.aliasTarget, &t), 0);
  return nwc::FormatName(t.name, false);
}

// Walks both trees from the given containers and compares every entry.
inline void CompareTrees(const nwc::DirectoryStore& a, std::uint32_t aId, const nwc::DirectoryStore& b, std::uint32_t bId, int* entries) {
  const auto ac = Children(a, aId);
  const auto bc = Children(b, bId);
  ASSERT_EQ(ac.size(), bc.size());
  for (std::size_t i = 0; i < ac.size(); ++i) {
    const std::string name = nwc::FormatName(ac[i].name, false);
    SCOPED_TRACE(name);
    ASSERT_EQ(name, nwc::FormatName(bc[i].name, false));
    EXPECT_EQ(ac[i].baseClass, bc[i].baseClass);
    EXPECT_EQ(ac[i].flags, bc[i].flags);
    EXPECT_EQ(ac[i].subordinateCount, bc[i].subordinateCount);
    EXPECT_EQ(AliasTargetName(a, ac[i]), AliasTargetName(b, bc[i]));
    EXPECT_EQ(Attributes(a, ac[i].id), Attributes(b, bc[i].id));
    ++*entries;
    if (ac[i].flags & nwc::kEntryContainer) CompareTrees(a, ac[i].id, b, bc[i].id, entries);
  }
}

// The demo's administrator password for the store's bind, from the
// environment as a description would name it.
constexpr const char* kPasswordVariable = "NWC_LDAP_TEST_PASSWORD";

// A typed dotted name as the store takes it.
inline nwc::DName Typed(std::string_view text) {
  nwc::DName n;
  EXPECT_EQ(nwc::CanonicalizeName(text, nwc::DName{}, {}, &n), 0) << text;
  return n;
}

// Settings for a store on the demo directory at `uri`, bound as ADMIN.
inline nwc::LdapSettings SettingsFor(const std::string& uri) {
  nwc::LdapSettings s;
  s.uri = uri;
  s.bases = {"o=ACME", "c=US"};
  s.bindDn = "cn=ADMIN,o=ACME";
  s.passwordEnv = kPasswordVariable;
  s.treeName = "ACMECORP";
  return s;
}

}  // namespace nwctest
