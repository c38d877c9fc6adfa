// The click on a container of N users, to its N children shown, in the
// viewer's own window (the stored form) against the client's listing alone
// plus a bare QTreeWidget adding and showing the same N items; and the peak
// memory of the viewer after showing N children against the bare tree's,
// each measured in a process of its own. Offscreen, same run, side by side.
// The users come from a generated container of the stand-in client's
// simulated network, and from a throw-away slapd (scripts/slapd-demo.sh)
// when slapd is installed.
//
//   tree_click_bench [--sizes 1000,10000,100000] [--rounds R] [--peak N|0]
//                    [--source generated|slapd|both]
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/main.h"
#include "bench_support.h"
#include "controls/nwtreevw.h"
#include "netware/nwnds.h"
#include <nlohmann/json.hpp>
// The client's model names a member "slots", which Qt takes for a keyword.
#pragma push_macro("slots")
#undef slots
#include "network.h"
#pragma pop_macro("slots")

namespace fs = std::filesystem;
using bench::Clock;
using bench::SecondsSince;

namespace {

void Shown(QWidget *widget) {
  QApplication::processEvents();
  widget->repaint();
  QApplication::processEvents();
}

QTreeWidgetItem *Child(QTreeWidgetItem *parent, const QString &text) {
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->text(0).compare(text, Qt::CaseInsensitive) == 0) return parent->child(i);
  }
  return nullptr;
}

QTreeWidgetItem *Top(QTreeWidget &tree, const QString &text) {
  for (int i = 0; i < tree.topLevelItemCount(); ++i) {
    if (tree.topLevelItem(i)->text(0).compare(text, Qt::CaseInsensitive) == 0) return tree.topLevelItem(i);
  }
  return nullptr;
}

void Click(TNWTreeView &tree, QTreeWidgetItem *node) {
  tree.scrollToItem(node);
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, tree.visualItemRect(node).center());
}

// The viewer's window on the network named by NWCLIENT_NETWORK, ACME open
// once so that the container below it can be clicked.
struct Viewer {
  TForm1 form;
  TNWTreeView &tree = *form.ndsTreeView;
  QTreeWidgetItem *big = nullptr;
  bool Open(const QString &container) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    QTreeWidgetItem *acme = Top(tree, "ACME");
    if (acme == nullptr) return false;
    Click(tree, acme);
    acme->setExpanded(true);
    big = Child(acme, container);
    return big != nullptr;
  }
  // The click on BIG until its children are shown; the number shown.
  int ClickBig() {
    Click(tree, big);
    big->setExpanded(true);
    Shown(&tree);
    return big->childCount();
  }
};

// A bare tree: N items with the given texts below one node, shown.
void BareTree(QTreeWidget &tree, const std::vector<QString> &texts) {
  auto *top = new QTreeWidgetItem(QStringList(QStringLiteral("BIG")));
  tree.addTopLevelItem(top);
  QList<QTreeWidgetItem *> items;
  items.reserve(static_cast<qsizetype>(texts.size()));
  for (const QString &text : texts) items.append(new QTreeWidgetItem(QStringList(text)));
  top->addChildren(items);
  top->setExpanded(true);
  Shown(&tree);
}

int ChildMode(int argc, char **argv, const std::string &mode, long n, const char *container) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (mode == "bare-peak") {
    QTreeWidget tree;
    tree.resize(540, 480);
    tree.show();
    if (!QTest::qWaitForWindowExposed(&tree)) return 3;
    std::vector<QString> texts;
    texts.reserve(static_cast<std::size_t>(n));
    for (long i = 1; i <= n; ++i) texts.push_back(QString::fromStdString(bench::UserName(i)));
    BareTree(tree, texts);
    return tree.topLevelItem(0)->childCount() == n ? 0 : 4;
  }
  Viewer viewer;
  if (!viewer.Open(QString::fromLatin1(container))) return 3;
  if (mode == "viewer-loaded") return 0;
  if (mode == "viewer-listing") {
    const TNWObjList list = ListSubordinates(std::string(), std::string(container) + ".ACME");
    return static_cast<long>(list.size()) == n ? 0 : 4;
  }
  return viewer.ClickBig() == n ? 0 : 4;
}

const char *const kPasswordVariable = "NWC_BENCH_LDAP_PASSWORD";

// The demo network with its directory on the slapd at the port.
void WriteLdapNetwork(const fs::path &file, int port) {
  const fs::path ldapDir = fs::path(NW_SOURCE_DIR) / "client/ldap";
  std::ifstream in(ldapDir / "demo-network.json");
  nlohmann::json net = nlohmann::json::parse(in);
  net["directory"]["ldap"]["uri"] = "ldap://127.0.0.1:" + std::to_string(port) + "/";
  net["directory"]["ldap"]["passwordEnv"] = kPasswordVariable;
  // Every listing asks the server: nothing is reused from an earlier round.
  net["directory"]["ldap"]["cacheSeconds"] = 0;
  for (auto &server : net["servers"]) {
    for (auto &volume : server["volumes"]) volume["path"] = (ldapDir / volume["path"].get<std::string>()).string();
  }
  std::ofstream(file) << net.dump(1);
}

// A name and a number ("B1000"); appended, since GCC 12 warns falsely about
// operator+ on a literal and a temporary string.
std::string ContainerName(const char *prefix, long n) {
  std::string name(prefix);
  name += std::to_string(n);
  return name;
}

struct Source {
  std::string name;
  // The network description and the container for N users.
  std::function<std::pair<fs::path, std::string>(long)> network;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 5 && strcmp(argv[1], "--child") == 0) return ChildMode(argc, argv, argv[2], atol(argv[3]), argv[4]);
  std::vector<long> sizes{1000, 10000, 100000};
  std::string sourceChoice = "both";
  int rounds = 3;
  long peakSize = 100000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--sizes") == 0) {
      sizes.clear();
      std::stringstream list(argv[i + 1]);
      for (std::string item; std::getline(list, item, ',');) sizes.push_back(atol(item.c_str()));
    } else if (strcmp(argv[i], "--rounds") == 0) {
      rounds = atoi(argv[i + 1]);
    } else if (strcmp(argv[i], "--peak") == 0) {
      peakSize = atol(argv[i + 1]);
    } else if (strcmp(argv[i], "--source") == 0) {
      sourceChoice = argv[i + 1];
    }
  }
  char pattern[] = "/tmp/tree-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  const fs::path script = fs::path(NW_SOURCE_DIR) / "scripts/slapd-demo.sh";

  std::vector<Source> sources;
  if (sourceChoice != "slapd") {
    sources.push_back({"generated", [dir](long n) {
                         const fs::path net = dir / ContainerName("net", n).append(".json");
                         if (!fs::exists(net)) bench::WriteBigNetwork(net, n);
                         return std::make_pair(net, std::string("BIG"));
                       }});
  }
  bool slapdRunning = false;
  if (sourceChoice != "generated" && !bench::SlapdInstalled()) {
    std::printf("slapd is not installed: the LDAP source is left out\n");
  } else if (sourceChoice != "generated") {
    // One server, a container B<N> of N users for each size.
    std::vector<long> containers = sizes;
    if (peakSize > 0) containers.push_back(peakSize);
    std::sort(containers.begin(), containers.end());
    containers.erase(std::unique(containers.begin(), containers.end()), containers.end());
    {
      std::ofstream ldif(dir / "big.ldif");
      for (long n : containers) bench::AppendLdifContainer(ldif, ContainerName("B", n), n);
    }
    std::printf("loading a throw-away slapd...\n");
    std::fflush(stdout);
    const int port = bench::StartSlapd(script, dir / "slapd", dir / "big.ldif");
    if (port == 0) {
      std::fprintf(stderr, "could not start slapd\n");
      fs::remove_all(dir);
      return 1;
    }
    slapdRunning = true;
    setenv(kPasswordVariable, "NOVELL", 1);
    const fs::path net = dir / "ldap.json";
    WriteLdapNetwork(net, port);
    sources.push_back({"slapd", [net](long n) { return std::make_pair(net, ContainerName("B", n)); }});
  }

  // Peak memory first, while this process is small.
  if (peakSize > 0) {
    const bench::ChildRun bare = bench::RunSelf({"--child", "bare-peak", std::to_string(peakSize), "-"});
    const bench::ChildRun empty = bench::RunSelf({"--child", "bare-peak", "0", "-"});
    std::printf("peak memory after showing %ld children (each a process of its own):\n", peakSize);
    std::printf("  bare QTreeWidget: %ld KiB (exit %d)\n", bare.maxRssKb, bare.status);
    for (const Source &source : sources) {
      const auto [net, container] = source.network(peakSize);
      setenv("NWCLIENT_NETWORK", net.c_str(), 1);
      const bench::ChildRun viewer = bench::RunSelf({"--child", "viewer-peak", std::to_string(peakSize), container});
      // The same window with the network loaded but the container not clicked:
      // what the client holds of the network, apart from the tree.
      const bench::ChildRun loaded = bench::RunSelf({"--child", "viewer-loaded", std::to_string(peakSize), container});
      std::printf("  viewer, %-9s: %ld KiB (exit %d, %.1f s with loading), ratio viewer / bare %.2f (target <= 1.5)\n",
                  source.name.c_str(), viewer.maxRssKb, viewer.status, viewer.seconds,
                  double(viewer.maxRssKb) / double(bare.maxRssKb));
      // And the client's listing of the container alone, without the tree.
      const bench::ChildRun listed = bench::RunSelf({"--child", "viewer-listing", std::to_string(peakSize), container});
      std::printf("  viewer, %-9s, network loaded, container not clicked: %ld KiB (exit %d); the click adds %ld KiB\n",
                  source.name.c_str(), loaded.maxRssKb, loaded.status, viewer.maxRssKb - loaded.maxRssKb);
      std::printf("  viewer, %-9s, the container listed but not shown: %ld KiB (exit %d); the tree's nodes add %ld KiB "
                  "(the bare tree's grow it by %ld KiB over an empty window)\n",
                  source.name.c_str(), listed.maxRssKb, listed.status, viewer.maxRssKb - listed.maxRssKb,
                  bare.maxRssKb - empty.maxRssKb);
    }
    std::printf("\n");
    std::fflush(stdout);
  }

  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::printf("%-10s %8s %12s %12s %12s %12s %8s %14s %14s\n", "source", "children", "listing s", "bare s", "list+bare s",
              "viewer s", "ratio", "viewer us/ch", "bare us/ch");
  int failures = 0;
  for (const Source &source : sources) {
  for (long n : sizes) {
    const auto [net, container] = source.network(n);
    setenv("NWCLIENT_NETWORK", net.c_str(), 1);
    nwc::ResetNetwork();
    Viewer viewer;
    if (!viewer.Open(QString::fromStdString(container))) {
      std::fprintf(stderr, "the viewer did not open %s of %ld users\n", container.c_str(), n);
      ++failures;
      continue;
    }
    const std::string path = container + ".ACME";
    std::vector<double> listing, bare, shown;
    for (int round = 0; round < rounds; ++round) {
      auto start = Clock::now();
      const TNWObjList list = ListSubordinates(std::string(), path);
      listing.push_back(SecondsSince(start));

      std::vector<QString> texts;
      texts.reserve(list.size());
      {
        QTreeWidget tree;
        tree.resize(viewer.tree.size());
        tree.show();
        if (!QTest::qWaitForWindowExposed(&tree)) return 1;
        start = Clock::now();
        for (const TNWObjItem &item : list) texts.push_back(NWToQString(item.text));
        BareTree(tree, texts);
        bare.push_back(SecondsSince(start));
      }

      viewer.big->setExpanded(false);
      qDeleteAll(viewer.big->takeChildren());
      Shown(&viewer.tree);
      start = Clock::now();
      const int got = viewer.ClickBig();
      shown.push_back(SecondsSince(start));
      if (got != n || static_cast<long>(list.size()) != n) {
        std::fprintf(stderr, "expected %ld children, listed %zu, shown %d\n", n, list.size(), got);
        ++failures;
      }
    }
    const double l = bench::Median(listing), b = bench::Median(bare), v = bench::Median(shown);
    std::printf("%-10s %8ld %12.4f %12.4f %12.4f %12.4f %8.2f %14.2f %14.2f\n", source.name.c_str(), n, l, b, l + b,
                v, v / (l + b), v / n * 1e6, b / n * 1e6);
    std::fflush(stdout);
  }
  }
  std::printf("ratio = viewer click to shown / (listing alone + bare tree), medians of %d rounds; target <= 1.5\n",
              rounds);
  if (slapdRunning) bench::StopSlapd(script, dir / "slapd");
  fs::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
