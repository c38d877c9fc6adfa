// A directory spread over servers, through the client's entry points: the
// slapd cluster of the test run (tests/support/slapd_cluster_fixture.sh) has
// a master and a read-only replica of o=ACME and a partition server for
// ou=ENGINEERING, which the master refers to. Referrals are followed unless
// the context forbids it, a replica takes over from a master that dies, and
// a password change sent to the replica lands on the master.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "ds_client.h"
#include "ldap_store.h"
#include "ldap_test_util.h"

using namespace dstest;
using nwctest::kPasswordVariable;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeout = 3;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// The cluster named in the fixture's file.
class Cluster {
 public:
  Cluster() {
#ifdef NW_CLUSTER_INSTANCE_FILE
    std::ifstream in(NW_CLUSTER_INSTANCE_FILE);
#else
    std::ifstream in;
#endif
    std::string line;
    while (std::getline(in, line)) {
      auto eq = line.find('=');
      if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  // Why the tests cannot run, empty when they can.
  std::string Missing() const {
    if (values_.count("missing") != 0) return values_.at("missing") + " (Debian package slapd)";
    return "";
  }
  bool Ready() const { return !Get("master").empty() && !Get("replica").empty(); }
  std::string Get(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? "" : it->second;
  }
  // The server's PID as its folder has it now (restarts change it).
  int Pid(const std::string& name) const {
    std::ifstream in(Get("dir") + "/" + name + "/slapd.pid");
    int pid = 0;
    in >> pid;
    return pid;
  }
  void Kill(const std::string& name) const {
    const int pid = Pid(name);
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    for (int i = 0; i < 200 && kill(pid, 0) == 0; ++i) usleep(10000);
  }
  bool Halt(const std::string& name) const { return Script("halt", name); }
  bool Restart(const std::string& name) const { return Pid(name) > 0 && kill(Pid(name), 0) == 0 ? true : Script("restart", name); }

 private:
  bool Script(const std::string& what, const std::string& name) const {
    std::string out;
    const int rc = nwctest::RunCommand(
        {"bash", (nwctest::SourceRoot() / "scripts/slapd-cluster.sh").string(), what, Get("dir"), name}, &out);
    EXPECT_EQ(rc, 0) << out;
    return rc == 0;
  }
  std::map<std::string, std::string> values_;
};

// The demo network with the directory on the cluster's servers, in order.
std::string Description(const std::vector<std::string>& uris) {
  auto doc = nlohmann::ordered_json::parse(nwc::DemoNetworkJson());
  doc["directory"]["ldap"] = {
      {"uri", uris},
      {"base", {"o=ACME"}},
      {"bindDn", "cn=ADMIN,o=ACME"},
      {"passwordEnv", kPasswordVariable},
      {"timeoutSeconds", kTimeout},
      {"cacheSeconds", 0},
  };
  return doc.dump();
}

std::vector<std::string> Names(const Listing& l) {
  std::vector<std::string> out;
  for (const Listed& o : l.objects) out.push_back(o.name + "/" + o.baseClass);
  std::sort(out.begin(), out.end());
  return out;
}

std::string ServerInUse() {
  auto lock = nwc::NetworkLock();
  auto* store = dynamic_cast<nwc::LdapStore*>(nwc::CurrentDirectoryStore());
  return store != nullptr ? store->ServerUri() : "no LDAP store";
}

class LdapCluster : public nwctest::DemoNetworkTest {
 protected:
  void SetUp() override {
    nwctest::DemoNetworkTest::SetUp();
    if (!cluster_.Missing().empty()) GTEST_SKIP() << cluster_.Missing();
    ASSERT_TRUE(cluster_.Ready()) << "no slapd cluster: these tests use the one ctest starts for them (ctest -R LdapCluster)";
    ASSERT_TRUE(Ds().ready) << dlerror();
    setenv(kPasswordVariable, "NOVELL", 1);
    // What the built-in demo directory holds, for the answers to match.
    ASSERT_TRUE(nwc::LoadNetworkFromString(nwc::DemoNetworkJson(), nwc::DemoNetworkRoot(), "builtin.json"));
    Context acme("O=ACME");
    engineering_ = Names(ListAll(acme, "OU=ENGINEERING"));
    acme_ = Names(ListAll(acme, ""));
    ASSERT_FALSE(engineering_.empty());
  }
  void TearDown() override {
    // Whatever a test did to the master, the next finds it running.
    if (cluster_.Ready()) cluster_.Restart("master");
    nwctest::DemoNetworkTest::TearDown();
  }
  void Load(const std::vector<std::string>& uris) {
    ASSERT_TRUE(nwc::LoadNetworkFromString(Description(uris), nwc::DemoNetworkRoot(), "cluster.json"));
  }

  Cluster cluster_;
  std::vector<std::string> engineering_, acme_;
};

}  // namespace

TEST_F(LdapCluster, AListingAcrossAPartitionFollowsTheReferralUnlessTheContextForbidsIt) {
  Load({cluster_.Get("master"), cluster_.Get("replica")});
  Context acme("O=ACME");
  // The organization's own listing holds ENGINEERING, an entry of the
  // partition server, as the built-in directory holds it.
  const Listing top = ListAll(acme, "");
  ASSERT_EQ(top.code, 0);
  // and the test's own container of referrals that cannot be followed.
  std::vector<std::string> expected = acme_;
  expected.push_back("OU=REFERRALS/Organizational Unit");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(top), expected);
  const Listing eng = ListAll(acme, "OU=ENGINEERING");
  ASSERT_EQ(eng.code, 0);
  EXPECT_EQ(Names(eng), engineering_);
  EXPECT_EQ(ListAll(acme, "OU=QA.OU=ENGINEERING").objects.size(), 1u);
  const Reading chen = ReadValues(acme, "CN=LCHEN.OU=ENGINEERING", "Full Name");
  ASSERT_EQ(chen.code, 0);
  ASSERT_EQ(chen.values.size(), 1u);
  EXPECT_EQ(ServerInUse(), cluster_.Get("master"));

  Context strict("O=ACME", DCV_DEFAULT_FLAGS | DCV_DISALLOW_REFERRALS);
  const Listing refused = ListAll(strict, "OU=ENGINEERING");
  EXPECT_EQ(refused.code, ERR_NO_REFERRALS);
  EXPECT_TRUE(refused.objects.empty());
  const Listing refusedTop = ListAll(strict, "");
  EXPECT_EQ(refusedTop.code, ERR_NO_REFERRALS);
  EXPECT_TRUE(refusedTop.objects.empty());
  EXPECT_EQ(ReadValues(strict, "CN=LCHEN.OU=ENGINEERING", "Full Name").code, ERR_NO_REFERRALS);
  // Entries of the master's own partition are read as before, the
  // organization too, whose subordinates include the other server's.
  EXPECT_EQ(ListAll(strict, "OU=SALES").code, 0);
  Context strictRoot("[Root]", DCV_DEFAULT_FLAGS | DCV_DISALLOW_REFERRALS);
  EXPECT_EQ(ReadValues(strictRoot, "O=ACME", "Description").code, 0);
  // The flag is the context's: another context still follows.
  EXPECT_EQ(Names(ListAll(acme, "OU=ENGINEERING")), engineering_);
}

TEST_F(LdapCluster, ReferralsThatCannotBeFollowedFailWithinTheTimeout) {
  Load({cluster_.Get("master")});
  Context acme("O=ACME");
  // A referral to its own server, and one to a port where nothing listens.
  auto start = Clock::now();
  const Listing loop = ListAll(acme, "OU=LOOP.OU=REFERRALS");
  EXPECT_EQ(loop.code, ERR_ALL_REFERRALS_FAILED);
  EXPECT_TRUE(loop.objects.empty());
  EXPECT_EQ(ReadValues(acme, "OU=LOOP.OU=REFERRALS", "Description").code, ERR_ALL_REFERRALS_FAILED);
  EXPECT_LT(Seconds(start), kTimeout);
  start = Clock::now();
  EXPECT_EQ(ListAll(acme, "OU=GONE.OU=REFERRALS").code, ERR_UNREACHABLE_SERVER);
  EXPECT_LT(Seconds(start), 2 * kTimeout + 1);
  // The container that holds them cannot be listed whole, but reads.
  EXPECT_NE(ListAll(acme, "OU=REFERRALS").code, 0);
  EXPECT_EQ(ReadValues(acme, "OU=REFERRALS", "Description").code, 0);
  // Nothing else is spoilt.
  EXPECT_EQ(Names(ListAll(acme, "OU=ENGINEERING")), engineering_);
}

TEST_F(LdapCluster, WithTheMasterKilledTheReplicaAnswersAndTheMasterIsPreferredOnceBack) {
  Load({cluster_.Get("master"), cluster_.Get("replica")});
  Context acme("O=ACME");
  const auto sales = Names(ListAll(acme, "OU=SALES"));
  ASSERT_FALSE(sales.empty());
  ASSERT_EQ(ServerInUse(), cluster_.Get("master"));

  cluster_.Kill("master");
  auto start = Clock::now();
  const Listing again = ListAll(acme, "OU=SALES");
  EXPECT_EQ(again.code, 0);
  EXPECT_EQ(Names(again), sales);
  EXPECT_EQ(ReadValues(acme, "CN=JSMITH.OU=SALES", "Full Name").code, 0);
  EXPECT_LT(Seconds(start), kTimeout);
  EXPECT_EQ(ServerInUse(), cluster_.Get("replica"));
  // The replica refers to the partition as the master did.
  EXPECT_EQ(Names(ListAll(acme, "OU=ENGINEERING")), engineering_);

  ASSERT_TRUE(cluster_.Restart("master"));
  {
    auto lock = nwc::NetworkLock();
    dynamic_cast<nwc::LdapStore&>(*nwc::CurrentDirectoryStore()).Disconnect();
  }
  EXPECT_EQ(Names(ListAll(acme, "OU=SALES")), sales);
  EXPECT_EQ(ServerInUse(), cluster_.Get("master"));

  // A master that hangs takes connections and answers nothing: the call
  // that finds it so waits one time-out, and the connection made again
  // goes to the replica first rather than waiting on the master once more.
  const int master = cluster_.Pid("master");
  nwctest::Freeze(master);
  start = Clock::now();
  const Listing hung = ListAll(acme, "OU=SALES");
  const double took = Seconds(start);
  kill(master, SIGCONT);
  EXPECT_EQ(hung.code, 0);
  EXPECT_EQ(Names(hung), sales);
  EXPECT_GE(took, kTimeout - 0.5);
  EXPECT_LT(took, kTimeout + 1.5);
  EXPECT_EQ(ServerInUse(), cluster_.Get("replica"));
}

TEST_F(LdapCluster, APasswordChangedThroughTheReplicaIsChangedOnTheMaster) {
  setenv(kPasswordVariable, "NOVELL", 1);
  nwc::LdapSettings onReplica = nwctest::SettingsFor(cluster_.Get("replica"));
  onReplica.bases = {"o=ACME"};
  onReplica.cacheSeconds = 0;
  onReplica.timeoutSeconds = kTimeout;
  nwc::LdapSettings onMaster = onReplica;
  onMaster.uri = cluster_.Get("master");
  nwc::LdapStore replica(onReplica);
  nwc::LdapStore master(onMaster);
  nwc::EntryInfo jsmith, onM;
  ASSERT_EQ(replica.Resolve(nwctest::Typed("CN=JSMITH.OU=SALES.O=ACME"), false, &jsmith), 0);
  ASSERT_EQ(master.Resolve(nwctest::Typed("CN=JSMITH.OU=SALES.O=ACME"), false, &onM), 0);

  ASSERT_EQ(replica.ChangePassword(jsmith.id, "SALES1", "REPLICATED2"), 0);
  EXPECT_EQ(replica.ServerUri(), cluster_.Get("replica"));
  EXPECT_EQ(master.VerifyPassword(onM.id, "REPLICATED2"), 0);
  EXPECT_EQ(master.VerifyPassword(onM.id, "SALES1"), ERR_FAILED_AUTHENTICATION);
  // The replica has it once the master's change reaches it.
  int onReplicaNow = -1;
  for (int i = 0; i < 100 && onReplicaNow != 0; ++i) {
    if ((onReplicaNow = replica.VerifyPassword(jsmith.id, "REPLICATED2")) != 0) usleep(50000);
  }
  EXPECT_EQ(onReplicaNow, 0);

  // With the master stopped the change fails, and the password stays.
  ASSERT_TRUE(cluster_.Halt("master"));
  const auto start = Clock::now();
  EXPECT_EQ(replica.ChangePassword(jsmith.id, "REPLICATED2", "LOST3"), ERR_UNREACHABLE_SERVER);
  EXPECT_LT(Seconds(start), kTimeout + 1);
  EXPECT_EQ(replica.VerifyPassword(jsmith.id, "REPLICATED2"), 0);
  EXPECT_EQ(replica.VerifyPassword(jsmith.id, "LOST3"), ERR_FAILED_AUTHENTICATION);

  ASSERT_TRUE(cluster_.Restart("master"));
  EXPECT_EQ(master.VerifyPassword(onM.id, "REPLICATED2"), 0);
  EXPECT_EQ(master.ChangePassword(onM.id, "REPLICATED2", "SALES1"), 0);
}
