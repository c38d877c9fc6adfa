// TNWTreeView: a tree that shows one kind of NetWare object list as its top
// level, fetches a node's children from the network when the node is clicked
// and reports the click as an event of the node's kind.
//
// Every node carries a 32-bit value in its Qt::UserRole data; its low byte is
// the node's object kind (TNWDSObjKind). Top-level nodes also carry the value
// as their image index (ImageIndexRole); children carry none. The control
// owns no images: a node shows the glyph of its image index only when the
// owner assigns an image list (Images), and each glyph is made once and
// shared by every node that shows it.
#pragma once

#include <QHash>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QTreeWidget>

#include <cstdint>

#include "base/nwbase.h"
#include "controls/imglist.h"
#include "controls/nwbound.h"
#include "controls/nwtreefetch.h"
#include "netware/nwtypes.h"

class QMouseEvent;
class QPaintEvent;
class QResizeEvent;

class TNWTreeView : public TNWBoundControl<QTreeWidget> {
  Q_OBJECT
  Q_PROPERTY(TImageList *Images READ Images WRITE SetImages)
  Q_PROPERTY(TNotifyEvent OnExpandPrinter READ OnExpandPrinter WRITE SetOnExpandPrinter)
  Q_PROPERTY(TNotifyEvent OnExpandPrintQueue READ OnExpandPrintQueue WRITE SetOnExpandPrintQueue)
  Q_PROPERTY(TNotifyEvent OnExpandPrintQueueJob READ OnExpandPrintQueueJob WRITE SetOnExpandPrintQueueJob)
  Q_PROPERTY(TNotifyEvent OnExpandPrintServer READ OnExpandPrintServer WRITE SetOnExpandPrintServer)
  Q_PROPERTY(TNotifyEvent OnExpandDirectory READ OnExpandDirectory WRITE SetOnExpandDirectory)
  Q_PROPERTY(TNotifyEvent OnExpandFile READ OnExpandFile WRITE SetOnExpandFile)
  Q_PROPERTY(TNotifyEvent OnExpandUser READ OnExpandUser WRITE SetOnExpandUser)
  Q_PROPERTY(TNotifyEvent OnExpandGroup READ OnExpandGroup WRITE SetOnExpandGroup)
  Q_PROPERTY(TNotifyEvent OnExpandOrg READ OnExpandOrg WRITE SetOnExpandOrg)
  Q_PROPERTY(TNotifyEvent OnExpandOrgUnit READ OnExpandOrgUnit WRITE SetOnExpandOrgUnit)
  Q_PROPERTY(TNotifyEvent OnExpandMembers READ OnExpandMembers WRITE SetOnExpandMembers)
  Q_PROPERTY(TNotifyEvent OnExpandOthers READ OnExpandOthers WRITE SetOnExpandOthers)
  Q_PROPERTY(TNotifyEvent OnExpandTree READ OnExpandTree WRITE SetOnExpandTree)
  Q_PROPERTY(TNotifyEvent OnExpandVolume READ OnExpandVolume WRITE SetOnExpandVolume)
  Q_PROPERTY(TNWBase *NWBase READ NWBase WRITE SetNWBase)
  Q_PROPERTY(NWEnums::TNWObjListType ShowObjType READ ShowObjType WRITE SetShowObjType)
  Q_PROPERTY(QString Text READ Text STORED false)

 public:
  // Item data role of a top-level node's image index (its object value).
  static constexpr int ImageIndexRole = Qt::UserRole + 1;

  explicit TNWTreeView(QWidget *parent = nullptr);
  ~TNWTreeView() override;

  // While loading, neither NWBase nor ShowObjType fills the tree; Loaded()
  // does it once. The tree does not follow the base component's notices.

  TNWObjListType ShowObjType() const { return showObjType_; }
  void SetShowObjType(TNWObjListType listType);
  // Path of the selected node; empty when none is selected.
  QString Text() const;
  // The glyphs nodes show by their image index; none by default.
  TImageList *Images() const { return images_.data(); }
  void SetImages(TImageList *images);
  // The picture for an image index: null without Images or past its end.
  // Made once per index and shared by every node that shows it.
  QIcon ImageIcon(uint32_t index) const;
  // What the empty tree says instead of nodes: why there are none when the
  // NetWare client or the network is missing; empty once there are nodes.
  QString PlaceholderText() const;

  // Refills the top level from the base component's list.
  void LoadItems();
  // The node's text, then "." and the text of each ancestor, leaf first.
  static QString GetNodePath(const QTreeWidgetItem *node);
  // The 32-bit value a node carries.
  static uint32_t NodeValue(const QTreeWidgetItem *node);

  TNotifyEvent OnExpandPrinter() const { return onExpandPrinter_; }
  void SetOnExpandPrinter(const TNotifyEvent &handler) { onExpandPrinter_ = handler; }
  TNotifyEvent OnExpandPrintQueue() const { return onExpandPrintQueue_; }
  void SetOnExpandPrintQueue(const TNotifyEvent &handler) { onExpandPrintQueue_ = handler; }
  TNotifyEvent OnExpandPrintQueueJob() const { return onExpandPrintQueueJob_; }
  void SetOnExpandPrintQueueJob(const TNotifyEvent &handler) { onExpandPrintQueueJob_ = handler; }
  TNotifyEvent OnExpandPrintServer() const { return onExpandPrintServer_; }
  void SetOnExpandPrintServer(const TNotifyEvent &handler) { onExpandPrintServer_ = handler; }
  TNotifyEvent OnExpandDirectory() const { return onExpandDirectory_; }
  void SetOnExpandDirectory(const TNotifyEvent &handler) { onExpandDirectory_ = handler; }
  TNotifyEvent OnExpandFile() const { return onExpandFile_; }
  void SetOnExpandFile(const TNotifyEvent &handler) { onExpandFile_ = handler; }
  TNotifyEvent OnExpandUser() const { return onExpandUser_; }
  void SetOnExpandUser(const TNotifyEvent &handler) { onExpandUser_ = handler; }
  TNotifyEvent OnExpandGroup() const { return onExpandGroup_; }
  void SetOnExpandGroup(const TNotifyEvent &handler) { onExpandGroup_ = handler; }
  TNotifyEvent OnExpandOrg() const { return onExpandOrg_; }
  void SetOnExpandOrg(const TNotifyEvent &handler) { onExpandOrg_ = handler; }
  TNotifyEvent OnExpandOrgUnit() const { return onExpandOrgUnit_; }
  void SetOnExpandOrgUnit(const TNotifyEvent &handler) { onExpandOrgUnit_ = handler; }
  TNotifyEvent OnExpandMembers() const { return onExpandMembers_; }
  void SetOnExpandMembers(const TNotifyEvent &handler) { onExpandMembers_ = handler; }
  TNotifyEvent OnExpandOthers() const { return onExpandOthers_; }
  void SetOnExpandOthers(const TNotifyEvent &handler) { onExpandOthers_ = handler; }
  TNotifyEvent OnExpandTree() const { return onExpandTree_; }
  void SetOnExpandTree(const TNotifyEvent &handler) { onExpandTree_ = handler; }
  TNotifyEvent OnExpandVolume() const { return onExpandVolume_; }
  void SetOnExpandVolume(const TNotifyEvent &handler) { onExpandVolume_ = handler; }
  // Not a published property: assignable from code only.
  TNotifyEvent OnExpandServer() const { return onExpandServer_; }
  void SetOnExpandServer(const TNotifyEvent &handler) { onExpandServer_ = handler; }

 protected:
  // Lets the tree select the node under the pointer, then fetches the
  // selected node's children and raises the event of its kind.
  // Only the left button selects: the others change neither the selection
  // nor the current node.
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  // Without a base component the nodes stay as they are.
  void Refresh() override { LoadItems(); }

 private:
  // Fetches the children of a collapsed node and returns the event to raise.
  TNotifyEvent ExpandNode(QTreeWidgetItem *node);
  TNotifyEvent Handler(TNWExpandEvent event) const;
  // The column as wide as the longest text in view, so that long texts
  // scroll sideways; measured over the rows in view only.
  void FitColumn();

  QPointer<TImageList> images_;
  QMetaObject::Connection imagesConnection_;
  mutable QHash<uint32_t, QIcon> icons_;
  QString emptyReason_;
  TNWObjListType showObjType_ = nwlNone;
  TNotifyEvent onExpandTree_;
  TNotifyEvent onExpandOthers_;
  TNotifyEvent onExpandMembers_;
  TNotifyEvent onExpandDirectory_;
  TNotifyEvent onExpandFile_;
  TNotifyEvent onExpandUser_;
  TNotifyEvent onExpandGroup_;
  TNotifyEvent onExpandPrintServer_;
  TNotifyEvent onExpandPrinter_;
  TNotifyEvent onExpandPrintQueue_;
  TNotifyEvent onExpandPrintQueueJob_;
  TNotifyEvent onExpandServer_;
  TNotifyEvent onExpandVolume_;
  TNotifyEvent onExpandOrg_;
  TNotifyEvent onExpandOrgUnit_;
};
