// The plain controls a form description can name (panels, tool bar, labels,
// edits, group boxes, image lists), the docking layout that arranges a
// parent's children by their Align value, and the font record of a form.
//
// Sizes are the form's design pixels, used as Qt's device-independent pixels:
// Qt's high-dpi scaling maps them to the screen.
#pragma once

#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

#include "base/nwbase.h"
#include "controls/imglist.h"

// ---- enumerations of the stored properties -------------------------------------
namespace NWForms {
Q_NAMESPACE

enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
Q_ENUM_NS(TAlign)

enum TPosition : uint8_t { poDesigned, poScreenCenter };
Q_ENUM_NS(TPosition)

// The few colours the viewer's forms use; clBtnFace is the style's own face.
enum TColor : uint8_t { clBtnFace, clGray, clSilver, clWhite, clBlack, clWindow, clWindowText };
Q_ENUM_NS(TColor)

enum TFontCharset : uint8_t { DEFAULT_CHARSET, ANSI_CHARSET, OEM_CHARSET };
Q_ENUM_NS(TFontCharset)

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
Q_ENUM_NS(TBevelCut)

enum TBorderStyle : uint8_t { bsNone, bsSingle };
Q_ENUM_NS(TBorderStyle)

enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
Q_ENUM_NS(TAlignment)

enum TToolButtonStyle : uint8_t { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };
Q_ENUM_NS(TToolButtonStyle)

enum TEdgeBorder { ebLeft = 1, ebTop = 2, ebRight = 4, ebBottom = 8 };
Q_DECLARE_FLAGS(TEdgeBorders, TEdgeBorder)
Q_FLAG_NS(TEdgeBorders)
}  // namespace NWForms

Q_DECLARE_OPERATORS_FOR_FLAGS(NWForms::TEdgeBorders)

// The colour that a TColor stands for (system colours from the application's palette).
QColor ColorOf(NWForms::TColor color, const QWidget *widget);

// ---- loading state ---------------------------------------------------------------
// The loading state every component of a form has while its description is read.
class TLoadingState {
 public:
  virtual ~TLoadingState() = default;
  bool Loading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  virtual void Loaded() { loading_ = false; }

 private:
  bool loading_ = false;
};

// ---- docking -----------------------------------------------------------------------

// Arranges the docked children of one widget: first every alTop child (each
// below the previous one, full width, its own height), then alBottom, alLeft,
// alRight, and last alClient filling what is left. Children of one alignment
// keep the order in which they were docked. The layout's margins are the
// parent's inner border; children with alNone are not managed.
class TDockLayout : public QLayout {
  Q_OBJECT

 public:
  explicit TDockLayout(QWidget *parent);
  ~TDockLayout() override;

  // The parent's docking layout, made on first use.
  static TDockLayout *Of(QWidget *parent);
  // Docks the child in its parent with the given alignment (alNone undocks).
  static void Dock(QWidget *child, NWForms::TAlign align);
  // The alignment a child was docked with.
  static NWForms::TAlign AlignOf(const QWidget *child);

  void addItem(QLayoutItem *item) override;
  QLayoutItem *itemAt(int index) const override;
  QLayoutItem *takeAt(int index) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect &rect) override;
  Qt::Orientations expandingDirections() const override { return Qt::Horizontal | Qt::Vertical; }

 private:
  QSize Extent(bool minimum) const;

  QList<QLayoutItem *> items_;
};

// ---- visual controls ---------------------------------------------------------------

// A panel: an optional frame, an inner border and a background colour; its
// children dock inside the border.
class TPanel : public QFrame, public TLoadingState {
  Q_OBJECT
  Q_PROPERTY(NWForms::TBevelCut BevelOuter READ BevelOuter WRITE SetBevelOuter)
  Q_PROPERTY(int BorderWidth READ BorderWidth WRITE SetBorderWidth)
  Q_PROPERTY(NWForms::TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
  Q_PROPERTY(NWForms::TColor Color READ Color WRITE SetColor)

 public:
  explicit TPanel(QWidget *parent = nullptr);

  NWForms::TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(NWForms::TBevelCut bevel);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int width);
  NWForms::TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(NWForms::TBorderStyle style);
  NWForms::TColor Color() const { return color_; }
  void SetColor(NWForms::TColor color);

 private:
  void UpdateFrame();

  NWForms::TBevelCut bevelOuter_ = NWForms::bvRaised;
  int borderWidth_ = 0;
  NWForms::TBorderStyle borderStyle_ = NWForms::bsNone;
  NWForms::TColor color_ = NWForms::clBtnFace;
};

class TToolButton;

// A tool bar: its buttons sit side by side from the left edge, each button
// ButtonWidth wide (separators keep their own width) and ButtonHeight high.
class TToolBar : public QFrame, public TLoadingState {
  Q_OBJECT
  Q_PROPERTY(int ButtonHeight READ ButtonHeight WRITE SetButtonHeight)
  Q_PROPERTY(int ButtonWidth READ ButtonWidth WRITE SetButtonWidth)
  Q_PROPERTY(NWForms::TColor Color READ Color WRITE SetColor)
  Q_PROPERTY(NWForms::TEdgeBorders EdgeBorders READ EdgeBorders WRITE SetEdgeBorders)
  Q_PROPERTY(TImageList *Images READ Images WRITE SetImages)
  Q_PROPERTY(TImageList *DisabledImages READ DisabledImages WRITE SetDisabledImages)

 public:
  explicit TToolBar(QWidget *parent = nullptr);

  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int height);
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int width);
  NWForms::TColor Color() const { return color_; }
  void SetColor(NWForms::TColor color);
  NWForms::TEdgeBorders EdgeBorders() const { return edgeBorders_; }
  void SetEdgeBorders(NWForms::TEdgeBorders borders);
  TImageList *Images() const { return images_.data(); }
  void SetImages(TImageList *images);
  TImageList *DisabledImages() const { return disabledImages_.data(); }
  void SetDisabledImages(TImageList *images);

  // The buttons in their order on the bar.
  QList<TToolButton *> Buttons() const;
  // Places the buttons and gives them their glyphs.
  void Arrange();
  void Loaded() override;

 protected:
  void childEvent(QChildEvent *event) override;
  void paintEvent(QPaintEvent *event) override;

 private:
  int buttonHeight_ = 22;
  int buttonWidth_ = 23;
  NWForms::TColor color_ = NWForms::clBtnFace;
  NWForms::TEdgeBorders edgeBorders_ = NWForms::ebTop;
  QPointer<TImageList> images_;
  QPointer<TImageList> disabledImages_;
};

// A button (or separator) of a tool bar; a click calls OnClick with the
// button as sender. The button shows its glyph only; its caption is the name
// a screen reader gives it. A separator is presented to screen readers as a
// separator, not as a button.
class TToolButton : public QToolButton, public TLoadingState {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ text WRITE setText)
  Q_PROPERTY(int ImageIndex READ ImageIndex WRITE SetImageIndex)
  Q_PROPERTY(NWForms::TToolButtonStyle Style READ Style WRITE SetStyle)
  Q_PROPERTY(TNotifyEvent OnClick READ OnClick WRITE SetOnClick)

 public:
  explicit TToolButton(QWidget *parent = nullptr);

  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  NWForms::TToolButtonStyle Style() const { return style_; }
  void SetStyle(NWForms::TToolButtonStyle style);
  TNotifyEvent OnClick() const { return onClick_; }
  void SetOnClick(const TNotifyEvent &handler) { onClick_ = handler; }
  bool IsSeparator() const { return style_ == NWForms::tbsSeparator || style_ == NWForms::tbsDivider; }

  // Takes the glyphs from the tool bar's image lists.
  void UpdateGlyph();

 protected:
  void paintEvent(QPaintEvent *event) override;

 private:
  TToolBar *Bar() const { return qobject_cast<TToolBar *>(parentWidget()); }

  int imageIndex_ = -1;
  NWForms::TToolButtonStyle style_ = NWForms::tbsButton;
  TNotifyEvent onClick_;
};

// A static text. Its FocusControl is the control it labels: the label is that
// control's buddy, and the control's accessible name is the caption without
// its mnemonic and closing colon ("Full Name:" names the field "Full Name").
class TLabel : public QLabel, public TLoadingState {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(NWForms::TAlignment Alignment READ Alignment WRITE SetAlignment)
  Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
  Q_PROPERTY(QWidget *FocusControl READ buddy WRITE SetFocusControl)

 public:
  explicit TLabel(QWidget *parent = nullptr);

  QString Caption() const { return text(); }
  void SetCaption(const QString &caption);
  void SetFocusControl(QWidget *control);
  NWForms::TAlignment Alignment() const { return alignment_; }
  void SetAlignment(NWForms::TAlignment alignment);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);

 private:
  void NameFocusControl();

  NWForms::TAlignment alignment_ = NWForms::taLeftJustify;
  bool autoSize_ = true;
};

// A single-line edit.
class TEdit : public QLineEdit, public TLoadingState {
  Q_OBJECT

 public:
  explicit TEdit(QWidget *parent = nullptr) : QLineEdit(parent) {}
};

// A multi-line edit.
class TMemo : public QPlainTextEdit, public TLoadingState {
  Q_OBJECT

 public:
  explicit TMemo(QWidget *parent = nullptr) : QPlainTextEdit(parent) {}
  // The text, one entry per line.
  QStringList Lines() const;
};

// A framed box with a caption; its children dock inside the frame.
class TGroupBox : public QGroupBox, public TLoadingState {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ title WRITE setTitle)

 public:
  explicit TGroupBox(QWidget *parent = nullptr);
};

// The size limits of a form, as a description stores them (0: none).
class TSizeConstraints : public QObject {
  Q_OBJECT
  Q_PROPERTY(int MinWidth READ MinWidth WRITE SetMinWidth)
  Q_PROPERTY(int MinHeight READ MinHeight WRITE SetMinHeight)

 public:
  explicit TSizeConstraints(QWidget *owner) : QObject(owner), owner_(owner) {}

  int MinWidth() const { return owner_->minimumWidth(); }
  void SetMinWidth(int width) { owner_->setMinimumWidth(std::max(width, 0)); }
  int MinHeight() const { return owner_->minimumHeight(); }
  void SetMinHeight(int height) { owner_->setMinimumHeight(std::max(height, 0)); }

 private:
  QWidget *owner_;
};

// The font of a form, as a description stores it: a face name and a
// character height in pixels (negative, as stored, or positive).
class TFont : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Name READ Name WRITE SetName)
  Q_PROPERTY(int Height READ Height WRITE SetHeight)
  Q_PROPERTY(NWForms::TFontCharset Charset READ Charset WRITE SetCharset)
  Q_PROPERTY(NWForms::TColor Color READ Color WRITE SetColor)

 public:
  explicit TFont(QWidget *owner);

  QString Name() const { return name_; }
  void SetName(const QString &name);
  int Height() const { return height_; }
  void SetHeight(int height);
  NWForms::TFontCharset Charset() const { return charset_; }
  void SetCharset(NWForms::TFontCharset charset) { charset_ = charset; }
  NWForms::TColor Color() const { return color_; }
  void SetColor(NWForms::TColor color);

 private:
  void Apply();

  QWidget *owner_;
  QString name_;
  int height_ = 0;
  NWForms::TFontCharset charset_ = NWForms::DEFAULT_CHARSET;
  NWForms::TColor color_ = NWForms::clWindowText;
};
