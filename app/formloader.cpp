// The form base class, the component registry and the description reader.
#include "app/formloader.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTreeWidget>
#include <QVariant>

#include <algorithm>
#include <cstring>
#include <limits>

#include "controls/nwatedit.h"
#include "controls/nwlogmem.h"
#include "controls/nwtreevw.h"

using Json = nlohmann::ordered_json;
using namespace NWForms;

// ---- TCustomForm --------------------------------------------------------------------------

TCustomForm::TCustomForm(QWidget *parent)
    : QWidget(parent), font_(new TFont(this)), constraints_(new TSizeConstraints(this)) {
  TDockLayout::Of(this);
}

TCustomForm::~TCustomForm() = default;

void TCustomForm::SetColor(TColor color) {
  color_ = color;
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ColorOf(color, this));
  setPalette(palette);
  setAutoFillBackground(true);
}

QList<QObject *> TCustomForm::Components() const {
  QList<QObject *> list;
  for (const QPointer<QObject> &component : components_) {
    if (!component.isNull()) list.append(component.data());
  }
  return list;
}

QObject *TCustomForm::FindComponent(const QString &name) const {
  for (const QPointer<QObject> &component : components_) {
    if (!component.isNull() && component->objectName() == name) return component.data();
  }
  return nullptr;
}

TNotifyEvent TCustomForm::FindHandler(const QString &name) const {
  for (const auto &[handlerName, handler] : handlers_) {
    if (handlerName == name) return handler;
  }
  return {};
}

QStringList TCustomForm::HandlerNames() const {
  QStringList names;
  for (const auto &entry : handlers_) names.append(entry.first);
  return names;
}

void TCustomForm::InsertComponent(QObject *component) {
  components_.append(component);
  for (Field &field : fields_) {
    if (field.name != component->objectName()) continue;
    if (!field.bind(component)) {
      throw TFormError(QStringLiteral("Component %1 is a %2, but the form's field of that name is a %3")
                           .arg(component->objectName(), QString::fromLatin1(component->metaObject()->className()),
                                QString::fromLatin1(field.className)));
    }
    field.bound = true;
  }
}

void TCustomForm::CheckFieldsBound() const {
  for (const Field &field : fields_) {
    if (!field.bound) throw TFormError(QStringLiteral("No component fills the form's field %1").arg(field.name));
  }
}

void TCustomForm::showEvent(QShowEvent *event) {
  // Centred once, before the window first appears; afterwards the window
  // stays where the user puts it.
  if (!placed_ && isWindow()) {
    placed_ = true;
    if (position_ == poScreenCenter) {
      QScreen *screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
      if (screen != nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
      }
    }
  }
  QWidget::showEvent(event);
}

// ---- TComponentRegistry -----------------------------------------------------------------

const TComponentRegistry::TComponentClass *TComponentRegistry::Find(const QString &className) const {
  auto it = classes_.find(className);
  return it == classes_.end() ? nullptr : &it->second;
}

QStringList TComponentRegistry::ClassNames() const {
  QStringList names;
  for (const auto &entry : classes_) names.append(entry.first);
  return names;
}

const TComponentRegistry &TComponentRegistry::Standard() {
  static const TComponentRegistry registry = [] {
    TComponentRegistry r;
    r.Register<TPanel>(QStringLiteral("TPanel"));
    r.Register<TToolBar>(QStringLiteral("TToolBar"));
    r.Register<TToolButton>(QStringLiteral("TToolButton"));
    r.Register<TLabel>(QStringLiteral("TLabel"));
    r.Register<TEdit>(QStringLiteral("TEdit"));
    r.Register<TMemo>(QStringLiteral("TMemo"));
    r.Register<TGroupBox>(QStringLiteral("TGroupBox"));
    r.Register<TImageList>(QStringLiteral("TImageList"));
    r.Register<TNWBase>(QStringLiteral("TNWBase"));
    r.Register<TNWTreeView>(QStringLiteral("TNWTreeView"));
    r.Register<TNWNDSAttrEdit>(QStringLiteral("TNWNDSAttrEdit"));
    r.Register<TNWLoginScriptMemo>(QStringLiteral("TNWLoginScriptMemo"));
    return r;
  }();
  return registry;
}

// ---- the reader ------------------------------------------------------------------------------

namespace {

QString Text(const std::string &text) { return QString::fromStdString(text); }

QString Show(const Json &value) { return Text(value.dump()); }

// A reference or handler name, set once the whole description has been read.
struct Link {
  enum Kind { Reference, Handler } kind;
  QPointer<QObject> target;
  QMetaProperty property;
  QString value;  // empty: no component
  QString where;  // "Component.Property", for messages
};

class Reader {
 public:
  Reader(TCustomForm &form, const TComponentRegistry &registry) : form_(form), registry_(registry) {}

  void Read(const Json &description) {
    form_.SetLoading(true);
    if (!description.is_object()) throw TFormError(QStringLiteral("A form description must be an object"));
    CheckKeys(description, QStringLiteral("the form"), {"class", "name", "properties", "components"});
    const QString className = StringEntry(description, "class", QStringLiteral("the form"));
    if (className != QString::fromLatin1(form_.metaObject()->className())) {
      throw TFormError(QStringLiteral("The description is of class %1, the form is a %2")
                           .arg(className, QString::fromLatin1(form_.metaObject()->className())));
    }
    form_.setObjectName(StringEntry(description, "name", QStringLiteral("the form")));
    ReadProperties(form_, description, form_.objectName());
    ReadChildren(description, &form_);

    for (const Link &link : links_) Resolve(link);
    form_.CheckFieldsBound();
    ApplyTabOrder();

    for (const auto &[componentClass, component] : created_) {
      if (!component.isNull()) componentClass->loaded(component.data());
    }
    form_.Loaded();
  }

 private:
  static void CheckKeys(const Json &entry, const QString &what, std::initializer_list<const char *> allowed) {
    for (const auto &item : entry.items()) {
      const bool known = std::any_of(allowed.begin(), allowed.end(),
                                     [&](const char *key) { return item.key() == key; });
      if (!known) throw TFormError(QStringLiteral("Unknown entry \"%1\" in %2").arg(Text(item.key()), what));
    }
  }

  static QString StringEntry(const Json &entry, const char *key, const QString &what) {
    auto it = entry.find(key);
    if (it == entry.end() || !it->is_string() || it->get<std::string>().empty()) {
      throw TFormError(QStringLiteral("%1 needs a \"%2\" text").arg(what, QString::fromLatin1(key)));
    }
    return Text(it->get<std::string>());
  }

  void ReadChildren(const Json &entry, QWidget *parent) {
    auto it = entry.find("components");
    if (it == entry.end()) return;
    if (!it->is_array()) throw TFormError(QStringLiteral("\"components\" of %1 must be a list").arg(parent->objectName()));
    for (const Json &child : *it) ReadComponent(child, parent);
  }

  void ReadComponent(const Json &entry, QWidget *parent) {
    const QString inside = QStringLiteral("a component of %1").arg(parent->objectName());
    if (!entry.is_object()) throw TFormError(QStringLiteral("%1 is not an object").arg(inside));
    CheckKeys(entry, inside, {"class", "name", "properties", "components"});
    const QString className = StringEntry(entry, "class", inside);
    const QString name = StringEntry(entry, "name", inside);
    const TComponentRegistry::TComponentClass *componentClass = registry_.Find(className);
    if (componentClass == nullptr) {
      throw TFormError(QStringLiteral("Unknown component class %1 (component %2)").arg(className, name));
    }
    if (name == form_.objectName() || form_.FindComponent(name) != nullptr) {
      throw TFormError(QStringLiteral("A component named %1 already exists").arg(name));
    }
    if (!componentClass->visual && entry.contains("components")) {
      throw TFormError(QStringLiteral("%1 (%2) is not visual and cannot hold components").arg(name, className));
    }

    QObject *component = componentClass->create(form_, parent);
    component->setObjectName(name);
    componentClass->setLoading(component, true);
    created_.emplace_back(componentClass, component);
    form_.InsertComponent(component);
    ReadProperties(*component, entry, name);
    if (componentClass->visual) ReadChildren(entry, static_cast<QWidget *>(component));
  }

  void ReadProperties(QObject &target, const Json &entry, const QString &name) {
    auto it = entry.find("properties");
    if (it == entry.end()) return;
    if (!it->is_object()) throw TFormError(QStringLiteral("\"properties\" of %1 must be an object").arg(name));
    for (const auto &item : it->items()) Apply(target, Text(item.key()), item.value(), name);
  }

  // Sets one property; "Sub.Name" sets Name on the object that Sub holds.
  void Apply(QObject &target, const QString &key, const Json &value, const QString &where) {
    const QString described = where + QLatin1Char('.') + key;
    const qsizetype dot = key.indexOf(QLatin1Char('.'));
    if (dot > 0) {
      const QString head = key.left(dot);
      const QMetaProperty holder = PropertyOf(target, head);
      if (!holder.isValid() || !(holder.metaType().flags() & QMetaType::PointerToQObject)) {
        throw TFormError(QStringLiteral("%1 has no property %2 with properties of its own").arg(where, head));
      }
      const QVariant held = holder.read(&target);
      QObject *sub = held.isValid() ? *static_cast<QObject *const *>(held.constData()) : nullptr;
      if (sub == nullptr) throw TFormError(QStringLiteral("%1.%2 holds no object").arg(where, head));
      Apply(*sub, key.mid(dot + 1), value, where + QLatin1Char('.') + head);
      return;
    }

    const QMetaProperty property = PropertyOf(target, key);
    if (!property.isValid()) {
      auto *widget = qobject_cast<QWidget *>(&target);
      if (widget != nullptr && ApplyControlProperty(*widget, key, value, described)) return;
      throw TFormError(QStringLiteral("Unknown property %1 of %2 (%3)")
                           .arg(key, where, QString::fromLatin1(target.metaObject()->className())));
    }
    if (!property.isWritable()) throw TFormError(QStringLiteral("Property %1 is read-only").arg(described));

    const QMetaType type = property.metaType();
    if (type == QMetaType::fromType<TNotifyEvent>() || (type.flags() & QMetaType::PointerToQObject)) {
      if (!value.is_string() && !value.is_null()) {
        throw TFormError(QStringLiteral("%1 takes a name, not %2").arg(described, Show(value)));
      }
      const Link::Kind kind = type == QMetaType::fromType<TNotifyEvent>() ? Link::Handler : Link::Reference;
      links_.push_back({kind, &target, property, value.is_null() ? QString() : Text(value.get<std::string>()),
                        described});
      return;
    }

    QVariant converted = property.isEnumType() ? EnumValue(property, value, described)
                                               : PlainValue(type, value, described);
    if (key == QLatin1String("Caption") && type == QMetaType::fromType<QString>()) {
      converted = Translated(converted.toString());
    }
    if (!property.write(&target, converted)) {
      throw TFormError(QStringLiteral("Cannot set %1 to %2").arg(described, Show(value)));
    }
  }

  // The texts the user reads (captions and hints) in the user's language,
  // translated in the context of the form's class.
  QString Translated(const QString &text) const {
    return QCoreApplication::translate(form_.metaObject()->className(), text.toUtf8().constData());
  }

  static QMetaProperty PropertyOf(const QObject &target, const QString &name) {
    const QMetaObject *meta = target.metaObject();
    const int index = meta->indexOfProperty(name.toLatin1().constData());
    return index < 0 ? QMetaProperty() : meta->property(index);
  }

  // An enumerator by name, or a set as a list of names.
  static QVariant EnumValue(const QMetaProperty &property, const Json &value, const QString &described) {
    const QMetaEnum enumeration = property.enumerator();
    int number = 0;
    if (property.isFlagType()) {
      if (!value.is_array()) throw TFormError(QStringLiteral("%1 takes a list of names").arg(described));
      for (const Json &name : value) {
        const int bit = name.is_string() ? EnumeratorValue(enumeration, name.get<std::string>()) : -1;
        if (bit < 0) throw TFormError(QStringLiteral("Unknown value %1 for %2").arg(Show(name), described));
        number |= bit;
      }
    } else {
      number = value.is_string() ? EnumeratorValue(enumeration, value.get<std::string>()) : -1;
      if (number < 0) throw TFormError(QStringLiteral("Unknown value %1 for %2").arg(Show(value), described));
    }
    QVariant result(property.metaType());
    void *data = result.data();
    switch (property.metaType().sizeOf()) {
      case 1:
        *static_cast<quint8 *>(data) = static_cast<quint8>(number);
        break;
      case 2:
        *static_cast<quint16 *>(data) = static_cast<quint16>(number);
        break;
      case 4:
        *static_cast<quint32 *>(data) = static_cast<quint32>(number);
        break;
      case 8:
        *static_cast<quint64 *>(data) = static_cast<quint64>(static_cast<quint32>(number));
        break;
      default:
        throw TFormError(QStringLiteral("%1 has an enumeration the reader cannot store").arg(described));
    }
    return result;
  }

  static int EnumeratorValue(const QMetaEnum &enumeration, const std::string &name) {
    bool known = false;
    const int value = enumeration.keyToValue(name.c_str(), &known);
    return known ? value : -1;
  }

  // Texts, numbers, truth values and text lists; any other property type
  // must accept the value through a registered conversion.
  static QVariant PlainValue(QMetaType type, const Json &value, const QString &described) {
    const auto wrong = [&] {
      return TFormError(QStringLiteral("Value %1 does not suit %2").arg(Show(value), described));
    };
    QVariant result;
    switch (type.id()) {
      case QMetaType::Bool:
        if (!value.is_boolean()) throw wrong();
        return QVariant(value.get<bool>());
      case QMetaType::Char:
      case QMetaType::SChar:
      case QMetaType::UChar:
      case QMetaType::Short:
      case QMetaType::UShort:
      case QMetaType::Int:
      case QMetaType::UInt:
      case QMetaType::Long:
      case QMetaType::ULong:
      case QMetaType::LongLong:
      case QMetaType::ULongLong:
        if (!value.is_number_integer()) throw wrong();
        result = value.is_number_unsigned() ? QVariant(value.get<qulonglong>()) : QVariant(value.get<qlonglong>());
        if (!result.convert(type)) throw wrong();
        // A number that does not fit changes on the way; refuse it.
        if (result.toLongLong() != (value.is_number_unsigned() ? static_cast<qlonglong>(value.get<qulonglong>())
                                                                : value.get<qlonglong>())) {
          throw wrong();
        }
        return result;
      case QMetaType::Double:
        if (!value.is_number()) throw wrong();
        return QVariant(value.get<double>());
      case QMetaType::QString:
        if (!value.is_string()) throw wrong();
        return QVariant(Text(value.get<std::string>()));
      case QMetaType::QStringList:
        return QVariant(StringList(value, described));
      default:
        break;
    }
    if (value.is_string()) {
      result = QVariant(Text(value.get<std::string>()));
    } else if (value.is_boolean()) {
      result = QVariant(value.get<bool>());
    } else if (value.is_number_integer()) {
      result = QVariant(value.get<qlonglong>());
    } else {
      throw wrong();
    }
    if (!result.convert(type)) throw wrong();
    return result;
  }

  static QStringList StringList(const Json &value, const QString &described) {
    QStringList list;
    if (!value.is_array()) throw TFormError(QStringLiteral("%1 takes a list of texts").arg(described));
    for (const Json &line : value) {
      if (!line.is_string()) throw TFormError(QStringLiteral("%1 takes a list of texts").arg(described));
      list.append(Text(line.get<std::string>()));
    }
    return list;
  }

  static int Integer(const Json &value, const QString &described) {
    if (!value.is_number_integer() || value.get<qlonglong>() < std::numeric_limits<int>::min() ||
        value.get<qlonglong>() > std::numeric_limits<int>::max()) {
      throw TFormError(QStringLiteral("%1 takes a whole number, not %2").arg(described, Show(value)));
    }
    return static_cast<int>(value.get<qlonglong>());
  }

  static bool Boolean(const Json &value, const QString &described) {
    if (!value.is_boolean()) throw TFormError(QStringLiteral("%1 takes true or false").arg(described));
    return value.get<bool>();
  }

  static QString String(const Json &value, const QString &described) {
    if (!value.is_string()) throw TFormError(QStringLiteral("%1 takes a text").arg(described));
    return Text(value.get<std::string>());
  }

  // The properties every control has, and the sample contents of edits,
  // memos and trees. False when the widget has no such property.
  bool ApplyControlProperty(QWidget &widget, const QString &key, const Json &value, const QString &described) {
    if (key == QLatin1String("Left")) {
      widget.move(Integer(value, described), widget.y());
    } else if (key == QLatin1String("Top")) {
      widget.move(widget.x(), Integer(value, described));
    } else if (key == QLatin1String("Width")) {
      widget.resize(std::max(Integer(value, described), 0), widget.height());
    } else if (key == QLatin1String("Height")) {
      widget.resize(widget.width(), std::max(Integer(value, described), 0));
    } else if (key == QLatin1String("Align")) {
      const int align = value.is_string() ? EnumeratorValue(QMetaEnum::fromType<TAlign>(), value.get<std::string>()) : -1;
      if (align < 0) throw TFormError(QStringLiteral("Unknown value %1 for %2").arg(Show(value), described));
      if (widget.isWindow() || TDockLayout::Of(widget.parentWidget()) == nullptr) {
        throw TFormError(QStringLiteral("%1: its parent does not dock its children").arg(described));
      }
      TDockLayout::Dock(&widget, static_cast<TAlign>(align));
    } else if (key == QLatin1String("Hint")) {
      widget.setToolTip(Translated(String(value, described)));
    } else if (key == QLatin1String("Enabled")) {
      widget.setEnabled(Boolean(value, described));
    } else if (key == QLatin1String("Visible") && !widget.isWindow()) {
      widget.setVisible(Boolean(value, described));
    } else if (key == QLatin1String("TabOrder")) {
      widget.setProperty("TabOrder", Integer(value, described));
    } else if (key == QLatin1String("Text") && qobject_cast<QLineEdit *>(&widget) != nullptr) {
      static_cast<QLineEdit &>(widget).setText(String(value, described));
    } else if (key == QLatin1String("Lines") && qobject_cast<QPlainTextEdit *>(&widget) != nullptr) {
      static_cast<QPlainTextEdit &>(widget).setPlainText(StringList(value, described).join(QLatin1Char('\n')));
    } else if (key == QLatin1String("Indent") && qobject_cast<QTreeView *>(&widget) != nullptr) {
      static_cast<QTreeView &>(widget).setIndentation(std::max(Integer(value, described), 0));
    } else if (key == QLatin1String("Items") && qobject_cast<QTreeWidget *>(&widget) != nullptr) {
      auto &tree = static_cast<QTreeWidget &>(widget);
      for (const QString &text : StringList(value, described)) tree.addTopLevelItem(new QTreeWidgetItem({text}));
    } else {
      return false;
    }
    return true;
  }

  void Resolve(const Link &link) {
    if (link.target.isNull()) return;
    QVariant value;
    if (link.kind == Link::Handler) {
      TNotifyEvent handler;
      if (!link.value.isEmpty()) {
        handler = form_.FindHandler(link.value);
        if (!handler) {
          throw TFormError(QStringLiteral("The form publishes no handler %1 (%2)").arg(link.value, link.where));
        }
      }
      value = QVariant::fromValue(handler);
    } else {
      QObject *component = nullptr;
      if (!link.value.isEmpty()) {
        component = link.value == form_.objectName() ? &form_ : form_.FindComponent(link.value);
        if (component == nullptr) {
          throw TFormError(QStringLiteral("No component named %1 (%2)").arg(link.value, link.where));
        }
        const QMetaObject *wanted = link.property.metaType().metaObject();
        if (wanted != nullptr && !component->metaObject()->inherits(wanted)) {
          throw TFormError(QStringLiteral("%1 is not a %2 (%3)")
                               .arg(link.value, QString::fromLatin1(wanted->className()), link.where));
        }
      }
      // QObject comes first in every QObject subclass, so the pointer is the
      // same for the property's class.
      value = QVariant(link.property.metaType(), &component);
    }
    if (!link.property.write(link.target.data(), value)) {
      throw TFormError(QStringLiteral("Cannot set %1 to %2").arg(link.where, link.value));
    }
  }

  // Within each parent, the tab key visits the widgets by their TabOrder.
  void ApplyTabOrder() {
    std::map<QWidget *, std::vector<std::pair<int, QWidget *>>> byParent;
    std::vector<QWidget *> parents;
    for (const auto &[componentClass, component] : created_) {
      auto *widget = qobject_cast<QWidget *>(component.data());
      if (widget == nullptr) continue;
      const QVariant order = widget->property("TabOrder");
      if (!order.isValid()) continue;
      auto &siblings = byParent[widget->parentWidget()];
      if (siblings.empty()) parents.push_back(widget->parentWidget());
      siblings.emplace_back(order.toInt(), widget);
    }
    for (QWidget *parent : parents) {
      auto &siblings = byParent[parent];
      std::stable_sort(siblings.begin(), siblings.end(),
                       [](const auto &a, const auto &b) { return a.first < b.first; });
      for (std::size_t i = 1; i < siblings.size(); ++i) {
        QWidget::setTabOrder(siblings[i - 1].second, siblings[i].second);
      }
    }
  }

  TCustomForm &form_;
  const TComponentRegistry &registry_;
  std::vector<Link> links_;
  std::vector<std::pair<const TComponentRegistry::TComponentClass *, QPointer<QObject>>> created_;
};

}  // namespace

void LoadForm(TCustomForm &form, const Json &description, const TComponentRegistry &registry) {
  Reader(form, registry).Read(description);
}

void LoadFormFile(TCustomForm &form, const QString &path, const TComponentRegistry &registry) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) throw TFormError(QStringLiteral("Cannot read the form description %1").arg(path));
  const QByteArray bytes = file.readAll();
  Json description;
  try {
    description = Json::parse(bytes.constData(), bytes.constData() + bytes.size());
  } catch (const Json::exception &error) {
    throw TFormError(QStringLiteral("The form description %1 is not valid JSON: %2").arg(path, QString::fromUtf8(error.what())));
  }
  LoadForm(form, description, registry);
}
