// TNWNDSAttrEdit: a single-line field that shows the first value of one
// directory attribute of the base component's current object (LoginID), and
// reads it again whenever the base component announces a new current object.
// It only displays: nothing typed into it is ever written back.
#pragma once

#include <QLineEdit>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <string>

#include "base/nwbase.h"
#include "controls/nwbound.h"
#include "netware/nwnds.h"

// The attribute enumeration is a plain enumeration of the service units; a
// form description names its values by enumerator ("dsaFullName"), which the
// QString converter registered by TNWNDSAttrEdit turns into the value.
Q_DECLARE_METATYPE(TNWDSAttrType)

class TNWNDSAttrEdit : public TNWBoundControl<QLineEdit> {
  Q_OBJECT
  Q_PROPERTY(TNWBase *NWBase READ NWBase WRITE SetNWBase)
  Q_PROPERTY(TNWDSAttrType NDSAttribute READ NDSAttribute WRITE SetNDSAttribute STORED true)

 public:
  explicit TNWNDSAttrEdit(QWidget *parent = nullptr);
  ~TNWNDSAttrEdit() override;

  // Registers the QString <-> TNWDSAttrType conversions by enumerator name
  // (once per process; every constructor calls it).
  static void RegisterAttrTypeConversions();

  // The setters read the directory also while loading; Loaded() reads once
  // more.

  TNWDSAttrType NDSAttribute() const { return attribute_; }
  void SetNDSAttribute(TNWDSAttrType attribute);

  // Reads the attribute of the current object and shows its first value.
  void ShowAttribute();

 protected:
  void Refresh() override { ShowAttribute(); }

 private:
  bool boolValue_ = false;
  int32_t intValue_ = 0;
  TNWDSPathInfo pathValue_;
  TNWDSAttrType attribute_ = dsaAccountBalance;
  std::string textValue_;
};
