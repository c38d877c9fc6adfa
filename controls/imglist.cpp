// The image list's glyphs.
#include "controls/imglist.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMetaEnum>
#include <QStyle>

TImageList::TImageList(QObject *owner) : QObject(owner) {}

QIcon TImageList::GlyphIcon(const QString &glyph) {
  // Found once per name for the life of the application (finding one reads
  // image files, and lists of normal and grayed glyphs name the same ones).
  if (qobject_cast<QApplication *>(QCoreApplication::instance()) == nullptr) return FindGlyph(glyph);
  static QHash<QString, QIcon> *found = nullptr;
  if (found == nullptr) {
    found = new QHash<QString, QIcon>;
    qAddPostRoutine([] {
      delete found;
      found = nullptr;
    });
  }
  if (const auto kept = found->constFind(glyph); kept != found->cend()) return *kept;
  const QIcon icon = FindGlyph(glyph);
  found->insert(glyph, icon);
  return icon;
}

QIcon TImageList::ReadIcon(const QStringList &files) {
  // Each file is read as its suffix says: reading it as Qt does by default
  // would first ask every image format plugin whether it can, which loads
  // them all (and their libraries) for a few small PNGs.
  QIcon icon;
  for (const QString &file : files) {
    QImageReader reader(file, QFileInfo(file).suffix().toLower().toLatin1());
    reader.setAutoDetectImageFormat(false);
    QImage image;
    if (reader.read(&image)) icon.addPixmap(QPixmap::fromImage(std::move(image)));
  }
  return icon;
}

QIcon TImageList::FindGlyph(const QString &glyph) {
  const QStringList parts = glyph.split(QLatin1Char('|'));
  QIcon icon;
  if (!parts.value(0).isEmpty()) icon = QIcon::fromTheme(parts.value(0));
  const QString fallback = parts.value(1);
  if (icon.isNull() && fallback.contains(QLatin1Char('/'))) {
    if (!QGuiApplication::instance()) return icon;  // pixmaps need the GUI
    const QFileInfo file(fallback);
    const QString twice = file.path() + QLatin1Char('/') + file.completeBaseName() + QStringLiteral("@2x.") + file.suffix();
    return ReadIcon({fallback, twice});
  }
  if (icon.isNull() && parts.size() > 1 && qobject_cast<QApplication *>(QCoreApplication::instance())) {
    const QMetaEnum pixmaps = QMetaEnum::fromType<QStyle::StandardPixmap>();
    bool known = false;
    const int value = pixmaps.keyToValue(parts.value(1).toLatin1().constData(), &known);
    if (known) icon = QApplication::style()->standardIcon(static_cast<QStyle::StandardPixmap>(value));
  }
  return icon;
}

QPixmap TImageList::Pixmap(int index) const {
  if (index < 0 || index >= Count()) return {};
  if (const auto kept = pixmaps_.constFind(index); kept != pixmaps_.cend()) return *kept;
  const QIcon icon = GlyphIcon(glyphs_.at(index));
  const QPixmap pixmap =
      icon.isNull() ? QPixmap() : icon.pixmap(QSize(width_, height_), grayed_ ? QIcon::Disabled : QIcon::Normal);
  pixmaps_.insert(index, pixmap);
  return pixmap;
}
