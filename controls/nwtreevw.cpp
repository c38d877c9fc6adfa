// TNWTreeView: filling the top level, node paths, the children fetched when
// a node is clicked, and the pictures nodes show.
#include "controls/nwtreevw.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <string>

#include "netware/nwnds_catalog.h"
#include "netware/tessel.h"

namespace {

// The hour-glass for the guard's life.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor &) = delete;
  WaitCursor &operator=(const WaitCursor &) = delete;
};

// A node as the control makes it: its text, its value and, at the top level,
// its image index. The picture is looked up in the tree's image list when the
// node is drawn, so a node holds nothing else.
class TNWTreeNode : public QTreeWidgetItem {
 public:
  TNWTreeNode(const QString &text, uint32_t value, bool hasImage)
      : QTreeWidgetItem(UserType), value_(value), imageIndex_(value), hasImage_(hasImage) {
    QTreeWidgetItem::setData(0, Qt::DisplayRole, text);
  }

  QVariant data(int column, int role) const override {
    if (column == 0) {
      if (role == Qt::UserRole) return QVariant(value_);
      if (role == TNWTreeView::ImageIndexRole) return hasImage_ ? QVariant(imageIndex_) : QVariant();
      if (role == Qt::DecorationRole && hasImage_) {
        if (const auto *tree = qobject_cast<const TNWTreeView *>(treeWidget())) {
          const QIcon icon = tree->ImageIcon(imageIndex_);
          if (!icon.isNull()) return icon;
        }
      }
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant &value) override {
    if (column == 0 && role == Qt::UserRole) {
      value_ = value.toUInt();
    } else if (column == 0 && role == TNWTreeView::ImageIndexRole) {
      hasImage_ = value.isValid();
      imageIndex_ = value.toUInt();
    } else {
      QTreeWidgetItem::setData(column, role, value);
      return;
    }
    emitDataChanged();
  }

 private:
  uint32_t value_;
  uint32_t imageIndex_;
  bool hasImage_;
};

}  // namespace

TNWTreeView::TNWTreeView(QWidget *parent) : TNWBoundControl(parent, nwnNone) {
  setColumnCount(1);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Long node texts (job lines, e-mail addresses) scroll sideways instead of
  // being cut short: the column is fitted to the rows in view whenever they
  // change, never by measuring every node.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::Interactive);
  header()->setResizeContentsPrecision(0);
  connect(this, &QTreeView::expanded, this, &TNWTreeView::FitColumn);
  connect(this, &QTreeView::collapsed, this, &TNWTreeView::FitColumn);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &TNWTreeView::FitColumn);
}

TNWTreeView::~TNWTreeView() = default;

// ---- list kind and images ---------------------------------------------------------

void TNWTreeView::SetShowObjType(TNWObjListType listType) {
  if (listType == showObjType_) return;
  showObjType_ = listType;
  LoadItems();
}

QString TNWTreeView::Text() const {
  const QList<QTreeWidgetItem *> selected = selectedItems();
  return selected.isEmpty() ? QString() : GetNodePath(selected.first());
}

void TNWTreeView::SetImages(TImageList *images) {
  if (images != images_.data()) {
    QObject::disconnect(imagesConnection_);
    images_ = images;
    if (images != nullptr) {
      imagesConnection_ = connect(images, &QObject::destroyed, this, [this] { SetImages(nullptr); });
    }
  }
  icons_.clear();
  viewport()->update();
  FitColumn();
}

QIcon TNWTreeView::ImageIcon(uint32_t index) const {
  if (images_.isNull() || index >= static_cast<uint32_t>(images_->Count())) return {};
  auto it = icons_.constFind(index);
  if (it == icons_.constEnd()) {
    const QPixmap pixmap = images_->Pixmap(static_cast<int>(index));
    it = icons_.insert(index, pixmap.isNull() ? QIcon() : QIcon(pixmap));
  }
  return it.value();
}

QString TNWTreeView::PlaceholderText() const { return topLevelItemCount() == 0 ? emptyReason_ : QString(); }

// ---- top level and paths -----------------------------------------------------------

void TNWTreeView::LoadItems() {
  if (loading_) return;
  if (showObjType_ == nwlNone) {
    emptyReason_.clear();
    clear();
    return;
  }
  if (nwBase_.isNull()) return;
  // The base component tells whether the network is there; the calls
  // libraries, whether the client is.
  if (nwBase_->NetAvailable()) {
    emptyReason_.clear();
  } else if (CallsLibrary == nullptr || ConnLibrary == nullptr) {
    emptyReason_ = tr("No NetWare client found");
  } else {
    emptyReason_ = tr("Not connected to a network");
  }
  const TNWObjList list = nwBase_->GetObjectList(showObjType_);
  {
    TNWRepaintGuard guard(this);
    clear();
    QList<QTreeWidgetItem *> nodes;
    nodes.reserve(static_cast<qsizetype>(list.size()));
    for (const TNWObjItem &entry : list) nodes.append(new TNWTreeNode(NWToQString(entry.text), entry.value, true));
    addTopLevelItems(nodes);
  }
  FitColumn();
}

QString TNWTreeView::GetNodePath(const QTreeWidgetItem *node) {
  if (node == nullptr) return {};
  QString path = node->text(0);
  for (const QTreeWidgetItem *parent = node->parent(); parent != nullptr; parent = parent->parent()) {
    // The children of a group, a printer or a print server are attribute
    // values that already name their object in full (a member, a queue, a
    // host device): the path ends there instead of naming the group again.
    const auto kind = static_cast<TNWDSObjKind>(NodeValue(parent) & 0xFF);
    if (kind == dokGroup || kind == dokPrinter || kind == dokPrintServer) break;
    path += QLatin1Char('.') + parent->text(0);
  }
  return path;
}

uint32_t TNWTreeView::NodeValue(const QTreeWidgetItem *node) {
  return node == nullptr ? 0 : node->data(0, Qt::UserRole).toUInt();
}

// ---- clicks -----------------------------------------------------------------------

void TNWTreeView::mousePressEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  QTreeWidget::mousePressEvent(event);
  const QList<QTreeWidgetItem *> selected = selectedItems();
  if (selected.isEmpty()) return;
  QTreeWidgetItem *node = selected.first();
  if (node->isExpanded()) return;
  if (showObjType_ != nwlNDSTree && showObjType_ != nwlNDSObjList) return;
  const TNotifyEvent handler = ExpandNode(node);
  // The handler may refill or even delete the tree: nothing runs after it.
  if (handler) handler(this);
}

void TNWTreeView::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  QTreeWidget::mouseReleaseEvent(event);
}

void TNWTreeView::mouseDoubleClickEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton) {
    event->accept();
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

TNotifyEvent TNWTreeView::ExpandNode(QTreeWidgetItem *node) {
  WaitCursor cursor;
  TNWExpandEvent event = TNWExpandEvent::None;
  {
    TNWRepaintGuard guard(this);
    if (node->childCount() > 0) {
      node->setExpanded(false);
      qDeleteAll(node->takeChildren());
    }
    TNWExpandTexts texts;
    texts.netwareVersion = QToNWString(tr("Netware Version: "));
    texts.fullName = QToNWString(tr("Full Name: "));
    texts.email = QToNWString(tr("E-Mail: "));
    texts.telephone = QToNWString(tr("Telephone: "));
    TNWExpansion expansion =
        ExpandNodeChildren(NodeValue(node), QToNWString(GetNodePath(node)), QToNWString(node->text(0)), texts);
    event = expansion.event;
    // Children get their text and value; the control sets no image for them.
    QList<QTreeWidgetItem *> nodes;
    nodes.reserve(static_cast<qsizetype>(expansion.children.size()));
    for (const TNWObjItem &entry : expansion.children) {
      nodes.append(new TNWTreeNode(NWToQString(entry.text), entry.value, false));
    }
    expansion.children = TNWObjList();
    node->addChildren(nodes);
  }
  FitColumn();
  return Handler(event);
}

TNotifyEvent TNWTreeView::Handler(TNWExpandEvent event) const {
  switch (event) {
    case TNWExpandEvent::Tree: return onExpandTree_;
    case TNWExpandEvent::Directory: return onExpandDirectory_;
    case TNWExpandEvent::File: return onExpandFile_;
    case TNWExpandEvent::User: return onExpandUser_;
    case TNWExpandEvent::Group: return onExpandGroup_;
    case TNWExpandEvent::PrintServer: return onExpandPrintServer_;
    case TNWExpandEvent::Printer: return onExpandPrinter_;
    case TNWExpandEvent::PrintQueue: return onExpandPrintQueue_;
    case TNWExpandEvent::PrintQueueJob: return onExpandPrintQueueJob_;
    case TNWExpandEvent::Server: return onExpandServer_;
    case TNWExpandEvent::Volume: return onExpandVolume_;
    case TNWExpandEvent::Org: return onExpandOrg_;
    case TNWExpandEvent::OrgUnit: return onExpandOrgUnit_;
    case TNWExpandEvent::None: break;
  }
  return {};
}

// ---- drawing ------------------------------------------------------------------------

void TNWTreeView::FitColumn() {
  const int width = sizeHintForColumn(0);
  if (width > 0 && width != header()->sectionSize(0)) header()->resizeSection(0, width);
}

void TNWTreeView::resizeEvent(QResizeEvent *event) {
  QTreeWidget::resizeEvent(event);
  FitColumn();
}

void TNWTreeView::paintEvent(QPaintEvent *event) {
  QTreeWidget::paintEvent(event);
  const QString text = PlaceholderText();
  if (text.isEmpty()) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::PlaceholderText));
  const QRect area = viewport()->rect().adjusted(6, 6, -6, -6);
  painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
}
