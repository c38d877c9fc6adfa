// TNWNDSAttrEdit: the attribute read by syntax and the text shown for it.
#include "controls/nwatedit.h"

#include <QEvent>

#include <mutex>

namespace {

// Syntax numbers the field can show.
constexpr uint8_t kSyntaxDistinguishedName = 1;
constexpr uint8_t kSyntaxCaseIgnoreString = 3;
constexpr uint8_t kSyntaxBoolean = 7;
constexpr uint8_t kSyntaxInteger = 8;
constexpr uint8_t kSyntaxPath = 15;
constexpr uint8_t kSyntaxCounter = 22;

}  // namespace

void TNWNDSAttrEdit::RegisterAttrTypeConversions() {
  static std::once_flag once;
  std::call_once(once, [] {
    const QMetaType text = QMetaType::fromType<QString>();
    const QMetaType attr = QMetaType::fromType<TNWDSAttrType>();
    // An unknown name fails the conversion, so the property keeps its value.
    QMetaType::registerConverterFunction(
        [](const void *from, void *to) {
          TNWDSAttrType value = dsaAccountBalance;
          if (!AttrTypeFromName(static_cast<const QString *>(from)->toStdString(), value)) return false;
          *static_cast<TNWDSAttrType *>(to) = value;
          return true;
        },
        text, attr);
    QMetaType::registerConverterFunction(
        [](const void *from, void *to) {
          const char *name = AttrTypeName(*static_cast<const TNWDSAttrType *>(from));
          if (name == nullptr || *name == '\0') return false;
          *static_cast<QString *>(to) = QString::fromLatin1(name);
          return true;
        },
        attr, text);
  });
}

TNWNDSAttrEdit::TNWNDSAttrEdit(QWidget *parent) : TNWBoundControl(parent, nwnUserChange) {
  RegisterAttrTypeConversions();
  ShowAttribute();
}

TNWNDSAttrEdit::~TNWNDSAttrEdit() = default;

void TNWNDSAttrEdit::SetNDSAttribute(TNWDSAttrType attribute) {
  attribute_ = attribute;
  ShowAttribute();
}

void TNWNDSAttrEdit::ShowAttribute() {
  clear();
  if (nwBase_.isNull()) return;
  // The current object, read on a copy of the current context.
  const std::string object = QToNWString(nwBase_->LoginID());
  const std::string context;
  QString shown;
  switch (AttrSyntax(attribute_)) {
    case kSyntaxBoolean:
      if (ReadAttrBoolean(context, object, attribute_, boolValue_)) {
        shown = boolValue_ ? tr("True") : tr("False");
      }
      break;
    case kSyntaxDistinguishedName:
    case kSyntaxCaseIgnoreString:
      if (ReadAttrString(context, object, attribute_, textValue_)) shown = NWToQString(textValue_);
      break;
    case kSyntaxInteger:
    case kSyntaxCounter:
      if (ReadAttrValue(context, object, attribute_, intValue_)) shown = QString::number(intValue_);
      break;
    case kSyntaxPath:
      if (ReadAttrPath(context, object, attribute_, pathValue_)) {
        shown = NWToQString(pathValue_.VolumeName + "\\" + pathValue_.Path);
      }
      break;
    default:
      break;  // a syntax the field cannot show
  }
  setText(shown);
  setCursorPosition(0);  // a long value shows its beginning, not its tail
  update();
}
