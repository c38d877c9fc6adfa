// TImageList: a non-visual list of glyphs that controls show by index (the
// tool bar's buttons, the tree's nodes).
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

// A non-visual list of glyphs. Each glyph is named "theme-icon|SP_Pixmap" or
// "theme-icon|:/path/file.png": the icon of the desktop theme, or else the
// style's standard pixmap or the image file (with its "@2x" sibling when
// there is one). A grayed list gives the glyphs as the style draws disabled
// icons.
class TImageList : public QObject {
  Q_OBJECT
  Q_PROPERTY(int Width READ Width WRITE SetWidth)
  Q_PROPERTY(int Height READ Height WRITE SetHeight)
  Q_PROPERTY(QStringList Glyphs READ Glyphs WRITE SetGlyphs)
  Q_PROPERTY(bool Grayed READ Grayed WRITE SetGrayed)

 public:
  explicit TImageList(QObject *owner = nullptr);

  // Component state, set by whoever reads a form description.
  bool Loading() const { return loading_; }
  void SetLoading(bool loading) { loading_ = loading; }
  virtual void Loaded() { loading_ = false; }

  int Width() const { return width_; }
  void SetWidth(int width) {
    width_ = width;
    pixmaps_.clear();
  }
  int Height() const { return height_; }
  void SetHeight(int height) {
    height_ = height;
    pixmaps_.clear();
  }
  QStringList Glyphs() const { return glyphs_; }
  void SetGlyphs(const QStringList &glyphs) {
    glyphs_ = glyphs;
    pixmaps_.clear();
  }
  bool Grayed() const { return grayed_; }
  void SetGrayed(bool grayed) {
    grayed_ = grayed;
    pixmaps_.clear();
  }

  int Count() const { return static_cast<int>(glyphs_.size()); }
  // The glyph at index as a Width x Height pixmap; null when out of range
  // or when the glyph cannot be found. Each is made once (finding a glyph
  // reads image files) and kept until a property changes.
  QPixmap Pixmap(int index) const;
  // The icon a glyph name stands for (null when neither source has it).
  static QIcon GlyphIcon(const QString &glyph);
  // An icon of the given image files, each read in the format its suffix
  // names; files that cannot be read are left out.
  static QIcon ReadIcon(const QStringList &files);

 private:
  static QIcon FindGlyph(const QString &glyph);

  bool loading_ = false;
  int width_ = 16;
  int height_ = 16;
  QStringList glyphs_;
  bool grayed_ = false;
  mutable QHash<int, QPixmap> pixmaps_;
};
