// The plain form controls and the docking layout.
#include "app/formcontrols.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QChildEvent>
#include <QGuiApplication>
#include <QMetaEnum>
#include <QPainter>
#include <QPalette>
#include <QStyle>

#include <algorithm>
#include <cstdlib>

using namespace NWForms;

namespace {

constexpr const char *kAlignProperty = "Align";

// Gives the widget its own background colour, so that its children show this
// colour and not one that a parent further out has set.
void PaintBackground(QWidget *widget, TColor color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, ColorOf(color, widget));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// Screen readers meet a tool bar as a tool bar and its separators as
// separators (plain frames and buttons by default).
QAccessibleInterface *ToolBarAccessible(const QString &, QObject *object) {
  if (auto *bar = qobject_cast<TToolBar *>(object)) return new QAccessibleWidget(bar, QAccessible::ToolBar);
  auto *button = qobject_cast<TToolButton *>(object);
  if (button != nullptr && button->IsSeparator()) return new QAccessibleWidget(button, QAccessible::Separator);
  return nullptr;
}

void InstallToolBarAccessible() {
  static const bool installed = (QAccessible::installFactory(&ToolBarAccessible), true);
  (void)installed;
}

// Hidden on purpose, not merely because its window is not shown yet.
bool ExplicitlyHidden(const QWidget *widget) {
  return widget->isHidden() && widget->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

}  // namespace

QColor ColorOf(TColor color, const QWidget *) {
  // The application's palette, not the widget's: a parent's colour must not
  // leak into the face colour of its children.
  const QPalette palette = QGuiApplication::palette();
  switch (color) {
    case clGray:
      return QColor(0x80, 0x80, 0x80);
    case clSilver:
      return QColor(0xC0, 0xC0, 0xC0);
    case clWhite:
      return Qt::white;
    case clBlack:
      return Qt::black;
    case clWindow:
      return palette.color(QPalette::Base);
    case clWindowText:
      return palette.color(QPalette::Text);
    case clBtnFace:
      break;
  }
  return palette.color(QPalette::Window);
}

// ---- TDockLayout -------------------------------------------------------------------

TDockLayout::TDockLayout(QWidget *parent) : QLayout(parent) {
  setContentsMargins(0, 0, 0, 0);
  setSpacing(0);
  // The form decides its own size; docking never forces a minimum on it.
  setSizeConstraint(QLayout::SetNoConstraint);
}

TDockLayout::~TDockLayout() {
  while (!items_.isEmpty()) delete items_.takeFirst();
}

TDockLayout *TDockLayout::Of(QWidget *parent) {
  if (parent == nullptr) return nullptr;
  if (auto *dock = qobject_cast<TDockLayout *>(parent->layout())) return dock;
  if (parent->layout() != nullptr) return nullptr;  // arranged some other way
  return new TDockLayout(parent);
}

void TDockLayout::Dock(QWidget *child, TAlign align) {
  child->setProperty(kAlignProperty, static_cast<int>(align));
  TDockLayout *dock = Of(child->parentWidget());
  if (dock == nullptr) return;
  const int index = dock->indexOf(child);
  if (index >= 0) delete dock->takeAt(index);
  if (align != alNone) dock->addWidget(child);
  dock->invalidate();
}

TAlign TDockLayout::AlignOf(const QWidget *child) {
  const QVariant value = child->property(kAlignProperty);
  return value.isValid() ? static_cast<TAlign>(value.toInt()) : alNone;
}

void TDockLayout::addItem(QLayoutItem *item) { items_.append(item); }

QLayoutItem *TDockLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem *TDockLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

QSize TDockLayout::sizeHint() const { return Extent(false); }

QSize TDockLayout::minimumSize() const { return Extent(true); }

QSize TDockLayout::Extent(bool minimum) const {
  int across = 0;  // widths of the left and right children
  int down = 0;    // heights of the top and bottom children
  QSize client(0, 0);
  for (QLayoutItem *item : items_) {
    QWidget *widget = item->widget();
    if (widget == nullptr || ExplicitlyHidden(widget)) continue;
    switch (AlignOf(widget)) {
      case alTop:
      case alBottom:
        down += widget->height();
        break;
      case alLeft:
      case alRight:
        across += widget->width();
        break;
      case alClient:
        client = minimum ? item->minimumSize() : item->sizeHint();
        break;
      case alNone:
        break;
    }
  }
  const QMargins margins = contentsMargins();
  return QSize(across + client.width() + margins.left() + margins.right(),
               down + client.height() + margins.top() + margins.bottom());
}

void TDockLayout::setGeometry(const QRect &rect) {
  QLayout::setGeometry(rect);
  QRect free = contentsRect();
  for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (QLayoutItem *item : items_) {
      QWidget *widget = item->widget();
      if (widget == nullptr || AlignOf(widget) != pass) continue;
      if (ExplicitlyHidden(widget)) continue;
      QRect place;
      switch (pass) {
        case alTop:
          place = QRect(free.left(), free.top(), free.width(), widget->height());
          free.setTop(free.top() + widget->height());
          break;
        case alBottom:
          place = QRect(free.left(), free.bottom() + 1 - widget->height(), free.width(), widget->height());
          free.setBottom(free.bottom() - widget->height());
          break;
        case alLeft:
          place = QRect(free.left(), free.top(), widget->width(), free.height());
          free.setLeft(free.left() + widget->width());
          break;
        case alRight:
          place = QRect(free.right() + 1 - widget->width(), free.top(), widget->width(), free.height());
          free.setRight(free.right() - widget->width());
          break;
        case alClient:
          place = free;
          break;
        case alNone:
          break;
      }
      // A border wider than the parent leaves nothing: sizes never go negative.
      place.setWidth(std::max(place.width(), 0));
      place.setHeight(std::max(place.height(), 0));
      widget->setGeometry(place);
    }
  }
}

// ---- TPanel ----------------------------------------------------------------------------

TPanel::TPanel(QWidget *parent) : QFrame(parent) {
  TDockLayout::Of(this);
  UpdateFrame();
  PaintBackground(this, color_);
}

void TPanel::SetBevelOuter(TBevelCut bevel) {
  bevelOuter_ = bevel;
  UpdateFrame();
}

void TPanel::SetBorderWidth(int width) {
  borderWidth_ = std::max(width, 0);
  if (TDockLayout *dock = TDockLayout::Of(this)) {
    dock->setContentsMargins(borderWidth_, borderWidth_, borderWidth_, borderWidth_);
  }
}

void TPanel::SetBorderStyle(TBorderStyle style) {
  borderStyle_ = style;
  UpdateFrame();
}

void TPanel::SetColor(TColor color) {
  color_ = color;
  PaintBackground(this, color);
}

void TPanel::UpdateFrame() {
  if (borderStyle_ == bsSingle) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
  } else if (bevelOuter_ == bvRaised) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
  } else if (bevelOuter_ == bvLowered) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
  } else {
    setFrameStyle(QFrame::NoFrame);
  }
  setLineWidth(1);
}

// ---- TToolBar -----------------------------------------------------------------------------

TToolBar::TToolBar(QWidget *parent) : QFrame(parent) {
  InstallToolBarAccessible();
  PaintBackground(this, color_);
}

void TToolBar::SetButtonHeight(int height) {
  buttonHeight_ = std::max(height, 0);
  Arrange();
}

void TToolBar::SetButtonWidth(int width) {
  buttonWidth_ = std::max(width, 0);
  Arrange();
}

void TToolBar::SetColor(TColor color) {
  color_ = color;
  PaintBackground(this, color);
}

void TToolBar::SetEdgeBorders(TEdgeBorders borders) {
  edgeBorders_ = borders;
  update();
}

void TToolBar::SetImages(TImageList *images) {
  images_ = images;
  Arrange();
}

void TToolBar::SetDisabledImages(TImageList *images) {
  disabledImages_ = images;
  Arrange();
}

QList<TToolButton *> TToolBar::Buttons() const {
  return findChildren<TToolButton *>(QString(), Qt::FindDirectChildrenOnly);
}

void TToolBar::Arrange() {
  // Buttons sit two pixels below the bar's top edge, one after the other.
  constexpr int kTop = 2;
  int left = 0;
  for (TToolButton *button : Buttons()) {
    if (ExplicitlyHidden(button)) continue;
    const int width = button->IsSeparator() ? button->width() : buttonWidth_;
    button->setGeometry(left, kTop, width, buttonHeight_);
    // While the form is read, the glyphs wait for Loaded(): finding one reads
    // image files, and every property the reader sets arranges the bar again.
    if (!Loading()) button->UpdateGlyph();
    left += width;
  }
}

void TToolBar::Loaded() {
  TLoadingState::Loaded();
  Arrange();
}

void TToolBar::childEvent(QChildEvent *event) {
  QFrame::childEvent(event);
  if (event->type() == QEvent::ChildRemoved) Arrange();
}

void TToolBar::paintEvent(QPaintEvent *event) {
  QFrame::paintEvent(event);
  if (!edgeBorders_) return;
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  const QRect r = rect();
  if (edgeBorders_ & ebTop) painter.drawLine(r.topLeft(), r.topRight());
  if (edgeBorders_ & ebLeft) painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(palette().color(QPalette::Light));
  if (edgeBorders_ & ebBottom) painter.drawLine(r.bottomLeft(), r.bottomRight());
  if (edgeBorders_ & ebRight) painter.drawLine(r.topRight(), r.bottomRight());
}

// ---- TToolButton --------------------------------------------------------------------------

TToolButton::TToolButton(QWidget *parent) : QToolButton(parent) {
  InstallToolBarAccessible();
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  connect(this, &QToolButton::clicked, this, [this] {
    // A copy: the handler may assign another one while it runs.
    const TNotifyEvent handler = onClick_;
    if (handler && !IsSeparator()) handler(this);
  });
  if (TToolBar *bar = Bar()) bar->Arrange();
}

void TToolButton::SetImageIndex(int index) {
  imageIndex_ = index;
  const TToolBar *bar = Bar();
  if (!Loading() && (bar == nullptr || !bar->Loading())) UpdateGlyph();
}

void TToolButton::SetStyle(TToolButtonStyle style) {
  style_ = style;
  if (TToolBar *bar = Bar()) bar->Arrange();
  update();
}

void TToolButton::UpdateGlyph() {
  TToolBar *bar = Bar();
  TImageList *images = bar != nullptr ? bar->Images() : nullptr;
  if (images == nullptr || IsSeparator() || imageIndex_ < 0 || imageIndex_ >= images->Count()) {
    setIcon(QIcon());
    return;
  }
  QIcon icon;
  icon.addPixmap(images->Pixmap(imageIndex_), QIcon::Normal);
  if (TImageList *grayed = bar->DisabledImages(); grayed != nullptr && imageIndex_ < grayed->Count()) {
    icon.addPixmap(grayed->Pixmap(imageIndex_), QIcon::Disabled);
  }
  setIcon(icon);
  setIconSize(QSize(images->Width(), images->Height()));
}

void TToolButton::paintEvent(QPaintEvent *event) {
  // A separator is empty space.
  if (IsSeparator()) return;
  QToolButton::paintEvent(event);
}

// ---- TLabel -------------------------------------------------------------------------------

TLabel::TLabel(QWidget *parent) : QLabel(parent) { setAlignment(Qt::AlignLeft | Qt::AlignTop); }

void TLabel::SetCaption(const QString &caption) {
  setText(caption);
  if (autoSize_) adjustSize();
  NameFocusControl();
}

void TLabel::SetFocusControl(QWidget *control) {
  setBuddy(control);
  NameFocusControl();
}

void TLabel::NameFocusControl() {
  QWidget *control = buddy();
  if (control == nullptr) return;
  const QString caption = text();
  QString name;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    // "&&" is an ampersand, a single "&" marks the mnemonic.
    if (caption.at(i) == QLatin1Char('&') && ++i >= caption.size()) break;
    name += caption.at(i);
  }
  name = name.trimmed();
  if (name.endsWith(QLatin1Char(':'))) name.chop(1);
  control->setAccessibleName(name.trimmed());
}

void TLabel::SetAlignment(TAlignment alignment) {
  alignment_ = alignment;
  Qt::Alignment horizontal = Qt::AlignLeft;
  if (alignment == taRightJustify) horizontal = Qt::AlignRight;
  if (alignment == taCenter) horizontal = Qt::AlignHCenter;
  setAlignment(horizontal | Qt::AlignTop);
}

void TLabel::SetAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  if (autoSize_) adjustSize();
}

// ---- TMemo, TGroupBox --------------------------------------------------------------------

QStringList TMemo::Lines() const {
  const QString text = toPlainText();
  return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

TGroupBox::TGroupBox(QWidget *parent) : QGroupBox(parent) { TDockLayout::Of(this); }

// ---- TFont -----------------------------------------------------------------------------------

TFont::TFont(QWidget *owner) : QObject(owner), owner_(owner) {}

void TFont::SetName(const QString &name) {
  name_ = name;
  Apply();
}

void TFont::SetHeight(int height) {
  height_ = height;
  Apply();
}

void TFont::SetColor(TColor color) {
  color_ = color;
  QPalette palette = owner_->palette();
  palette.setColor(QPalette::WindowText, ColorOf(color, owner_));
  owner_->setPalette(palette);
}

void TFont::Apply() {
  QFont font = owner_->font();
  if (!name_.isEmpty()) {
    // Faces the desktop lacks fall back to its sans-serif face.
    font.setFamily(name_);
    font.setStyleHint(QFont::SansSerif);
  }
  if (height_ != 0) font.setPixelSize(std::abs(height_));
  owner_->setFont(font);
}
