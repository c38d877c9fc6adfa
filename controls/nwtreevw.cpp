// TNWTreeView: filling the top level, node paths, and the children fetched
// when a node is clicked.
#include "controls/nwtreevw.h"

#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QMouseEvent>
#include <QStyle>

#include <cstring>
#include <string>

#include "netware/nwnds.h"
#include "netware/nwprint.h"
#include "netware/nwserver.h"
#include "netware/tessel.h"
#include "util/nwtools.h"

namespace {

// Repainting of a widget stays off for the guard's life.
class RepaintSuspended {
 public:
  explicit RepaintSuspended(QWidget *widget) : widget_(widget), wasEnabled_(widget->updatesEnabled()) {
    widget_->setUpdatesEnabled(false);
  }
  ~RepaintSuspended() {
    if (wasEnabled_) widget_->setUpdatesEnabled(true);
  }
  RepaintSuspended(const RepaintSuspended &) = delete;
  RepaintSuspended &operator=(const RepaintSuspended &) = delete;

 private:
  QWidget *widget_;
  bool wasEnabled_;
};

// The hour-glass for the guard's life.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor &) = delete;
  WaitCursor &operator=(const WaitCursor &) = delete;
};

// A small built-in picture for each object kind.
QIcon KindIcon(const QStyle *style, uint32_t kind) {
  QStyle::StandardPixmap pixmap = QStyle::SP_FileIcon;
  switch (kind) {
    case dokOrganization: pixmap = QStyle::SP_DirHomeIcon; break;
    case dokCountry:
    case dokLocality:
    case dokOrganizationalUnit: pixmap = QStyle::SP_DirIcon; break;
    case dokTree: pixmap = QStyle::SP_DriveNetIcon; break;
    case dokAFPServer:
    case dokMessagingServer:
    case dokNCPServer:
    case dokServer: pixmap = QStyle::SP_ComputerIcon; break;
    case dokComputer: pixmap = QStyle::SP_DesktopIcon; break;
    case dokVolume: pixmap = QStyle::SP_DriveHDIcon; break;
    case dokDirectory: pixmap = QStyle::SP_DirClosedIcon; break;
    case dokAlias: pixmap = QStyle::SP_FileLinkIcon; break;
    case dokDirectoryMap: pixmap = QStyle::SP_DirLinkIcon; break;
    case dokUser: pixmap = QStyle::SP_FileDialogInfoView; break;
    case dokGroup:
    case dokList:
    case dokProfile:
    case dokOrganizationalRole:
    case dokMessageRoutingGroup: pixmap = QStyle::SP_FileDialogDetailedView; break;
    case dokPrinter:
    case dokPrintServer: pixmap = QStyle::SP_DriveFDIcon; break;
    case dokBinderyQueue:
    case dokQueue:
    case dokQueueJob: pixmap = QStyle::SP_FileDialogListView; break;
    default: break;
  }
  return style->standardIcon(pixmap);
}

// Sets a node's image index and, when the index names a kind, its picture.
void SetImage(const QStyle *style, QTreeWidgetItem *node, uint32_t index) {
  node->setData(0, TNWTreeView::ImageIndexRole, index);
  if (index <= dokQueueJob) node->setIcon(0, KindIcon(style, index));
}

// The zero-terminated text that a value record points at. The pointer must
// lie inside the record's own block; the text ends at its terminator or at
// the block's end (every block carries one spare zero byte after its size).
std::string TextInBlock(const TNWValueBlock &block, const char *text) {
  const char *begin = block.Text();
  if (begin == nullptr || text == nullptr || text < begin || text >= begin + block.size) return {};
  const std::size_t room = static_cast<std::size_t>(begin + block.size - text);
  return std::string(text, strnlen(text, room));
}

// A text-syntax value (telephone number, distinguished name).
std::string BlockText(const TNWValueBlock &block) {
  if (block.Text() == nullptr) return {};
  return std::string(block.Text(), strnlen(block.Text(), block.size));
}

// The object name of a typed-name value.
std::string TypedNameText(const TNWValueBlock &block) {
  Typed_Name_T record{};
  if (block.size < sizeof record) return {};
  std::memcpy(&record, block.data.get(), sizeof record);
  return TextInBlock(block, record.objectName);
}

// The address text of an e-mail address value (after its type and pointer).
std::string EmailText(const TNWValueBlock &block) {
  EMail_Address_T record{};
  if (block.size < sizeof record) return {};
  std::memcpy(&record, block.data.get(), sizeof record);
  return TextInBlock(block, record.address);
}

}  // namespace

TNWTreeView::TNWTreeView(QWidget *parent) : QTreeWidget(parent) {
  setColumnCount(1);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Long node texts (job lines, e-mail addresses) scroll sideways instead of
  // being cut short.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
}

TNWTreeView::~TNWTreeView() = default;

void TNWTreeView::Loaded() {
  loading_ = false;
  LoadItems();
}

// ---- binding and list kind --------------------------------------------------------

void TNWTreeView::SetNWBase(TNWBase *base) {
  if (base != nwBase_.data()) {
    QObject::disconnect(baseConnection_);
    nwBase_ = base;
    if (base != nullptr) {
      baseConnection_ = connect(base, &QObject::destroyed, this, &TNWTreeView::BaseDestroyed);
    }
  }
  LoadItems();
}

void TNWTreeView::BaseDestroyed() {
  // The reference is already gone; dropping it also lets LoadItems run,
  // which keeps the nodes as they are.
  SetNWBase(nullptr);
}

void TNWTreeView::SetShowObjType(TNWObjListType listType) {
  if (listType == showObjType_) return;
  showObjType_ = listType;
  LoadItems();
}

QString TNWTreeView::Text() const {
  const QList<QTreeWidgetItem *> selected = selectedItems();
  return selected.isEmpty() ? QString() : GetNodePath(selected.first());
}

// ---- top level and paths -----------------------------------------------------------

void TNWTreeView::LoadItems() {
  if (loading_) return;
  if (showObjType_ == nwlNone) {
    clear();
    return;
  }
  if (nwBase_.isNull()) return;
  const TNWObjList list = nwBase_->GetObjectList(showObjType_);
  RepaintSuspended repaint(this);
  clear();
  QList<QTreeWidgetItem *> nodes;
  nodes.reserve(static_cast<qsizetype>(list.size()));
  for (const TNWObjItem &entry : list) {
    auto *node = new QTreeWidgetItem(QStringList(NWToQString(entry.text)));
    node->setData(0, Qt::UserRole, entry.value);
    SetImage(style(), node, entry.value);
    nodes.append(node);
  }
  addTopLevelItems(nodes);
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
  QTreeWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  const QList<QTreeWidgetItem *> selected = selectedItems();
  if (selected.isEmpty()) return;
  QTreeWidgetItem *node = selected.first();
  if (node->isExpanded()) return;
  if (showObjType_ != nwlNDSTree && showObjType_ != nwlNDSObjList) return;
  const TNotifyEvent handler = ExpandNode(node);
  // The handler may refill or even delete the tree: nothing runs after it.
  if (handler) handler(this);
}

TNotifyEvent TNWTreeView::ExpandNode(QTreeWidgetItem *node) {
  RepaintSuspended repaint(this);
  WaitCursor cursor;
  if (node->childCount() > 0) {
    node->setExpanded(false);
    qDeleteAll(node->takeChildren());
  }
  TNWObjList children;
  const TNotifyEvent handler = FillChildren(node, children);
  const std::string tab(1, '\t');
  const std::string threeSpaces = Spaces(3);
  QList<QTreeWidgetItem *> nodes;
  nodes.reserve(static_cast<qsizetype>(children.size()));
  for (const TNWObjItem &entry : children) {
    auto *child = new QTreeWidgetItem(QStringList(NWToQString(ReplaceText(entry.text, tab, threeSpaces))));
    child->setData(0, Qt::UserRole, entry.value);
    // Information lines (value 0) get no picture; objects show their kind.
    if (entry.value != 0) SetImage(style(), child, entry.value);
    nodes.append(child);
  }
  node->addChildren(nodes);
  return handler;
}

TNotifyEvent TNWTreeView::FillChildren(QTreeWidgetItem *node, TNWObjList &children) {
  // Every directory read works on a copy of the current context.
  const std::string context;
  const std::string path = QToNWString(GetNodePath(node));
  switch (NodeValue(node) & 0xFF) {
    case dokBinderyQueue:
    case dokQueue:
      ListQueueJobs(0, path, children);
      for (TNWObjItem &entry : children) entry.value = dokQueueJob;
      return onExpandPrintQueue_;

    case dokGroup:
      children = ListGroupMembers(context, path);
      return onExpandGroup_;

    case dokNCPServer:
    case dokServer: {
      std::string server;
      RemoveNameTypes(QToNWString(node->text(0)), server);
      // Connection 0 would stand for the primary connection: a server that
      // cannot be reached must not show the primary server's version.
      const NWCONN_HANDLE conn = server.empty() ? 0 : ConnectionByServerName(server);
      TNWServerInfo info;
      if (conn != 0 && GetServerInfo(conn, info)) children.push_back({"Netware Version: " + info.Version, 0});
      return onExpandServer_;
    }

    case dokOrganization:
      children = ListSubordinates(context, path);
      return onExpandOrg_;

    case dokOrganizationalUnit:
      children = ListSubordinates(context, path);
      return onExpandOrgUnit_;

    case dokPrinter: {
      TNWValueList queues;
      ReadAttrValues(context, path, dsaQueue, queues);
      for (const TNWValueBlock &queue : queues) {
        std::string name = TypedNameText(queue);
        if (!name.empty()) children.push_back({std::move(name), dokQueue});
      }
      return onExpandPrinter_;
    }

    case dokPrintServer: {
      std::string host;
      if (ReadAttrString(context, path, dsaHostDevice, host)) {
        children.push_back({host, ReadObjectKind(context, host)});
      }
      return onExpandPrintServer_;
    }

    case dokUser: {
      std::string fullName;
      if (ReadAttrString(context, path, dsaFullName, fullName)) children.push_back({"Full Name: " + fullName, 0});
      TNWValueList mails;
      ReadAttrValues(context, path, dsaEmailAddress, mails);
      for (const TNWValueBlock &mail : mails) children.push_back({"E-Mail: " + EmailText(mail), 0});
      TNWValueList phones;
      ReadAttrValues(context, path, dsaTelephoneNumber, phones);
      for (const TNWValueBlock &phone : phones) children.push_back({"Telephone: " + BlockText(phone), 0});
      return onExpandUser_;
    }

    case dokVolume: {
      std::string volume;
      if (ReadAttrString(context, path, dsaHostResourceName, volume)) {
        // Connection 0 (none resolved) names the primary connection's server.
        const std::string server = ConnectionServerName(ResolveAndAuthenticate(context, path));
        if (!server.empty()) {
          const std::string root = server + "/" + volume + ":\\";
          for (const std::string &name : ListSubdirectories(root + "*")) children.push_back({name, dokDirectory});
          for (const std::string &name : ListDirectoryFiles(root + "*.*")) children.push_back({name, dokFile});
        }
      }
      return onExpandVolume_;
    }

    case dokTree:
      children = ListSubordinates(QToNWString(node->text(0)), std::string());
      return onExpandTree_;

    case dokFile:
      return onExpandFile_;

    case dokDirectory:
      return onExpandDirectory_;

    case dokQueueJob:
      return onExpandPrintQueueJob_;

    default:
      return {};
  }
}
