// The click on a container of N users, to its N children shown, in the
// viewer's own window (the stored form) against the client's listing alone
// plus a bare QTreeWidget adding and showing the same N items; and the peak
// memory of the viewer after showing N children against the bare tree's,
// each measured in a process of its own. Offscreen, same run, side by side.
// The users come from a generated container of the stand-in client's
// simulated network.
//
//   tree_click_bench [--sizes 1000,10000,100000] [--rounds R] [--peak N|0]
#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/main.h"
#include "bench_support.h"
#include "controls/nwtreevw.h"
#include "netware/nwnds.h"
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

// The viewer's window on the network named by NWCLIENT_NETWORK, its
// container BIG open once so that BIG can be clicked.
struct Viewer {
  TForm1 form;
  TNWTreeView &tree = *form.ndsTreeView;
  QTreeWidgetItem *big = nullptr;
  bool Open() {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    QTreeWidgetItem *acme = Top(tree, "ACME");
    if (acme == nullptr) return false;
    Click(tree, acme);
    acme->setExpanded(true);
    big = Child(acme, "BIG");
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

int ChildMode(int argc, char **argv, const std::string &mode, long n) {
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
  if (!viewer.Open()) return 3;
  return viewer.ClickBig() == n ? 0 : 4;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 4 && strcmp(argv[1], "--child") == 0) return ChildMode(argc, argv, argv[2], atol(argv[3]));
  std::vector<long> sizes{1000, 10000, 100000};
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
    }
  }
  char pattern[] = "/tmp/tree-bench-XXXXXX";
  const fs::path dir = mkdtemp(pattern);

  // Peak memory first, while this process is small.
  if (peakSize > 0) {
    const fs::path net = dir / "peak.json";
    bench::WriteBigNetwork(net, peakSize);
    setenv("NWCLIENT_NETWORK", net.c_str(), 1);
    const bench::ChildRun bare = bench::RunSelf({"--child", "bare-peak", std::to_string(peakSize)});
    const bench::ChildRun viewer = bench::RunSelf({"--child", "viewer-peak", std::to_string(peakSize)});
    std::printf("peak memory after showing %ld children (own processes):\n", peakSize);
    std::printf("  bare QTreeWidget: %ld KiB (exit %d, %.2f s)\n", bare.maxRssKb, bare.status, bare.seconds);
    std::printf("  viewer:           %ld KiB (exit %d, %.2f s, network load included)\n", viewer.maxRssKb,
                viewer.status, viewer.seconds);
    std::printf("  ratio viewer / bare: %.2f (target <= 1.5)\n\n", double(viewer.maxRssKb) / double(bare.maxRssKb));
    std::fflush(stdout);
  }

  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::printf("%8s %12s %12s %12s %12s %8s %14s %14s\n", "children", "listing s", "bare s", "list+bare s",
              "viewer s", "ratio", "viewer us/ch", "bare us/ch");
  for (long n : sizes) {
    const fs::path net = dir / ("net" + std::to_string(n) + ".json");
    bench::WriteBigNetwork(net, n);
    setenv("NWCLIENT_NETWORK", net.c_str(), 1);
    nwc::ResetNetwork();
    Viewer viewer;
    if (!viewer.Open()) {
      std::fprintf(stderr, "the viewer did not open the network of %ld users\n", n);
      return 1;
    }
    std::vector<double> listing, bare, shown;
    for (int round = 0; round < rounds; ++round) {
      auto start = Clock::now();
      const TNWObjList list = ListSubordinates(std::string(), "BIG.ACME");
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
        return 1;
      }
    }
    const double l = bench::Median(listing), b = bench::Median(bare), v = bench::Median(shown);
    std::printf("%8ld %12.4f %12.4f %12.4f %12.4f %8.2f %14.2f %14.2f\n", n, l, b, l + b, v, v / (l + b),
                v / n * 1e6, b / n * 1e6);
    std::fflush(stdout);
  }
  std::printf("ratio = viewer click to shown / (listing alone + bare tree), medians of %d rounds; target <= 1.5\n",
              rounds);
  fs::remove_all(dir);
  return 0;
}
