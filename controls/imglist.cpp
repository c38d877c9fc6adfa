// The image list's glyphs.
#include "controls/imglist.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMetaEnum>
#include <QStyle>

TImageList::TImageList(QObject *owner) : QObject(owner) {}

QIcon TImageList::GlyphIcon(const QString &glyph) {
  const QStringList parts = glyph.split(QLatin1Char('|'));
  QIcon icon;
  if (!parts.value(0).isEmpty()) icon = QIcon::fromTheme(parts.value(0));
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
  const QIcon icon = GlyphIcon(glyphs_.at(index));
  if (icon.isNull()) return {};
  return icon.pixmap(QSize(width_, height_), grayed_ ? QIcon::Disabled : QIcon::Normal);
}
