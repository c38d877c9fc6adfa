// Start-up to the window shown: the viewer's main window on the demo network
// against a bare Qt window (empty; with a tree of two text nodes, which
// brings up the fonts as any window with text does; and made of the same
// kinds of plain Qt widgets as the viewer's window, with nothing behind
// them), each a process of its own started from here, offscreen, in the same
// run (medians, alternating).
//
//   tree_startup_bench [--rounds R]
#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/main.h"
#include "bench_support.h"

int main(int argc, char **argv) {
  if (argc >= 3 && strcmp(argv[1], "--child") == 0) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (strcmp(argv[2], "bare") == 0) {
      QWidget window;
      window.resize(540, 480);
      window.show();
      return QTest::qWaitForWindowExposed(&window) ? 0 : 3;
    }
    if (strcmp(argv[2], "bare-text") == 0) {
      QTreeWidget window;
      window.addTopLevelItems({new QTreeWidgetItem(QStringList("US")), new QTreeWidgetItem(QStringList("ACME"))});
      window.resize(540, 480);
      window.show();
      return QTest::qWaitForWindowExposed(&window) ? 0 : 3;
    }
    if (strcmp(argv[2], "bare-form") == 0) {
      // The viewer's window made of plain Qt widgets, with nothing behind
      // them: what showing this window costs any program.
      QWidget window;
      auto *layout = new QVBoxLayout(&window);
      auto *tools = new QToolBar;
      for (const char *tip : {"Change Password", "Send Line Message", "Close"}) tools->addAction(tip)->setToolTip(tip);
      layout->addWidget(tools);
      auto *body = new QHBoxLayout;
      layout->addLayout(body);
      auto *tree = new QTreeWidget;
      tree->setHeaderHidden(true);
      tree->addTopLevelItems({new QTreeWidgetItem(QStringList("US")), new QTreeWidgetItem(QStringList("ACME"))});
      body->addWidget(tree);
      auto *data = new QVBoxLayout;
      body->addLayout(data);
      auto *fields = new QFormLayout;
      for (const char *label : {"Common Name:", "Object ID:", "Full Name:"}) fields->addRow(label, new QLineEdit);
      data->addLayout(fields);
      for (const char *caption : {"Telephone", "Login Script"}) {
        auto *group = new QGroupBox(caption);
        (new QVBoxLayout(group))->addWidget(new QPlainTextEdit);
        data->addWidget(group);
      }
      window.resize(540, 480);
      window.show();
      return QTest::qWaitForWindowExposed(&window) ? 0 : 3;
    }
    TForm1 form;
    form.show();
    return QTest::qWaitForWindowExposed(&form) && form.ndsTreeView->topLevelItemCount() > 0 ? 0 : 3;
  }
  int rounds = 9;
  if (argc >= 3 && strcmp(argv[1], "--rounds") == 0) rounds = atoi(argv[2]);
  unsetenv("NWCLIENT_NETWORK");  // the built-in demo network
  std::vector<double> bare, text, form, viewer;
  for (int round = 0; round < rounds; ++round) {
    const bench::ChildRun b = bench::RunSelf({"--child", "bare"});
    const bench::ChildRun t = bench::RunSelf({"--child", "bare-text"});
    const bench::ChildRun f = bench::RunSelf({"--child", "bare-form"});
    const bench::ChildRun v = bench::RunSelf({"--child", "viewer"});
    if (b.status != 0 || t.status != 0 || f.status != 0 || v.status != 0) {
      std::fprintf(stderr, "a child failed: bare %d, bare tree %d, bare form %d, viewer %d\n", b.status, t.status,
                   f.status, v.status);
      return 1;
    }
    bare.push_back(b.seconds);
    text.push_back(t.seconds);
    form.push_back(f.seconds);
    viewer.push_back(v.seconds);
  }
  const double tb = bench::Median(bare), tt = bench::Median(text), tf = bench::Median(form),
               tv = bench::Median(viewer);
  std::printf("start-up to the window shown (offscreen, medians of %d):\n", rounds);
  std::printf("  bare Qt window, empty:                    %.4f s\n", tb);
  std::printf("  bare Qt window, a tree of two nodes:      %.4f s\n", tt);
  std::printf("  bare Qt window, the viewer's widgets:     %.4f s (%.2f times the empty one)\n", tf, tf / tb);
  std::printf("  viewer on the demo network:               %.4f s\n", tv);
  std::printf("  ratio viewer / bare empty window: %.2f, / bare tree window: %.2f, / bare window of its widgets: %.2f"
              " (target <= 1.5)\n",
              tv / tb, tv / tt, tv / tf);
  return 0;
}
