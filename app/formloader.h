// Forms built from a stored description: the form base class, the registry
// of component classes a description can name, and the loader.
//
// A description is a JSON object:
//   { "class": "TForm1", "name": "Form1",
//     "properties": { "Caption": "...", "Font.Height": -13, ... },
//     "components": [ { "class": "TPanel", "name": "SuperPanel1",
//                       "properties": { ... }, "components": [ ... ] }, ... ] }
// Components are constructed in the order they appear, depth first, each
// inside its enclosing component (non-visual ones belong to the form alone).
// Property values are set by name through the Qt property system right after
// each constructor, while the form and the component are loading:
//   - enumerations by enumerator name ("alClient"), sets as arrays of names;
//   - "Sub.Property" sets a property of the object that Sub holds;
//   - a property holding a component takes the component's name, and an
//     event property (TNotifyEvent) the name of a handler the form publishes;
//     both are resolved only once the whole description has been read;
//   - every widget also takes Left, Top, Width, Height, Align, Hint, Enabled,
//     Visible and TabOrder; edits take Text, memos Lines, and trees Indent
//     and Items (sample nodes) too.
// Captions and hints are shown translated, in the context of the form's class.
// After the references are resolved every component's Loaded() runs, in the
// order of construction, and then the form's.
#pragma once

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/formcontrols.h"
#include "base/nwbase.h"

// A description that cannot be read; the message names the class, component,
// property, value or handler at fault.
class TFormError : public std::runtime_error {
 public:
  explicit TFormError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

// A window made from a description. It owns every component of the
// description, binds the fields its subclass declares to the components of
// the same names, and publishes its event handlers by name.
class TCustomForm : public QWidget, public TLoadingState {
  Q_OBJECT
  Q_PROPERTY(QString Caption READ windowTitle WRITE setWindowTitle)
  Q_PROPERTY(int ClientWidth READ ClientWidth WRITE SetClientWidth)
  Q_PROPERTY(int ClientHeight READ ClientHeight WRITE SetClientHeight)
  Q_PROPERTY(NWForms::TColor Color READ Color WRITE SetColor)
  Q_PROPERTY(TFont *Font READ Font)
  Q_PROPERTY(TSizeConstraints *Constraints READ Constraints)
  Q_PROPERTY(NWForms::TPosition Position READ Position WRITE SetPosition)
  // Tool tips show as the toolkit shows them; the flag is kept for descriptions.
  Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

 public:
  explicit TCustomForm(QWidget *parent = nullptr);
  ~TCustomForm() override;

  int ClientWidth() const { return width(); }
  void SetClientWidth(int width) { resize(width, height()); }
  int ClientHeight() const { return height(); }
  void SetClientHeight(int height) { resize(width(), height); }
  NWForms::TColor Color() const { return color_; }
  void SetColor(NWForms::TColor color);
  TFont *Font() const { return font_; }
  TSizeConstraints *Constraints() const { return constraints_; }
  NWForms::TPosition Position() const { return position_; }
  void SetPosition(NWForms::TPosition position) { position_ = position; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show) { showHint_ = show; }

  // The components the form owns, in the order they were created.
  QList<QObject *> Components() const;
  QObject *FindComponent(const QString &name) const;
  // A published handler by name; empty when the form publishes none of that name.
  TNotifyEvent FindHandler(const QString &name) const;
  QStringList HandlerNames() const;

  // For the loader: takes a new component into the form and binds the field
  // of the same name (TFormError when the field is of another class).
  void InsertComponent(QObject *component);
  // For the loader: TFormError naming the first declared field no component filled.
  void CheckFieldsBound() const;

 protected:
  // A component field of the subclass, filled when the component of that
  // name is created.
  template <class T>
  void DeclareField(const QString &name, T *&field) {
    fields_.push_back({name, T::staticMetaObject.className(), [&field](QObject *component) {
                         T *typed = qobject_cast<T *>(component);
                         if (typed != nullptr) field = typed;
                         return typed != nullptr;
                       }});
  }
  // A handler of the subclass that descriptions may assign by name.
  template <class Form>
  void PublishHandler(const QString &name, void (Form::*method)(QObject *)) {
    Form *self = static_cast<Form *>(this);
    handlers_.emplace_back(name, [self, method](QObject *sender) { (self->*method)(sender); });
  }

  void showEvent(QShowEvent *event) override;

 private:
  struct Field {
    QString name;
    const char *className;
    std::function<bool(QObject *)> bind;
    bool bound = false;
  };

  NWForms::TColor color_ = NWForms::clBtnFace;
  TFont *font_;
  TSizeConstraints *constraints_;
  NWForms::TPosition position_ = NWForms::poDesigned;
  bool showHint_ = false;
  bool placed_ = false;
  std::vector<Field> fields_;
  std::vector<std::pair<QString, TNotifyEvent>> handlers_;
  QList<QPointer<QObject>> components_;
};

// The component classes a description may name.
class TComponentRegistry {
 public:
  struct TComponentClass {
    QString name;
    const QMetaObject *metaObject = nullptr;
    bool visual = false;
    // Visual components are created inside their parent, the others are
    // owned by the form.
    std::function<QObject *(TCustomForm &form, QWidget *parent)> create;
    std::function<void(QObject *, bool)> setLoading;
    std::function<void(QObject *)> loaded;
  };

  template <class T>
  void Register(const QString &className);
  const TComponentClass *Find(const QString &className) const;
  QStringList ClassNames() const;

  // The classes of the viewer: the plain controls and the NetWare components.
  static const TComponentRegistry &Standard();

 private:
  std::map<QString, TComponentClass> classes_;
};

template <class T>
void TComponentRegistry::Register(const QString &className) {
  static_assert(std::is_base_of_v<QObject, T>, "components are QObjects");
  TComponentClass entry;
  entry.name = className;
  entry.metaObject = &T::staticMetaObject;
  entry.visual = std::is_base_of_v<QWidget, T>;
  entry.create = [](TCustomForm &form, QWidget *parent) -> QObject * {
    if constexpr (std::is_base_of_v<QWidget, T>) {
      return new T(parent);
    } else {
      return new T(&form);
    }
  };
  entry.setLoading = [](QObject *component, bool loading) {
    if constexpr (requires(T & t) { t.SetLoading(true); }) static_cast<T *>(component)->SetLoading(loading);
  };
  entry.loaded = [](QObject *component) {
    if constexpr (requires(T & t) { t.Loaded(); }) static_cast<T *>(component)->Loaded();
  };
  classes_[className] = std::move(entry);
}

// Builds the form's components from the description. Throws TFormError for
// anything it cannot read; the components made so far stay with the form.
void LoadForm(TCustomForm &form, const nlohmann::ordered_json &description,
              const TComponentRegistry &registry = TComponentRegistry::Standard());
// The same from a file or Qt resource (":/forms/...").
void LoadFormFile(TCustomForm &form, const QString &path,
                  const TComponentRegistry &registry = TComponentRegistry::Standard());
