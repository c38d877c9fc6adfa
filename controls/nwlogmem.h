// TNWLoginScriptMemo: a multi-line editor that shows the login script of the
// base component's current object (LoginID), or with SystemLogin the system
// login script of its server, and loads it again whenever the base component
// announces a new server, context or current object. It only displays:
// OnBeforePost and OnAfterPost are kept for forms but never raised.
#pragma once

#include <QPlainTextEdit>

#include <functional>
#include <string>

#include "base/nwbase.h"
#include "controls/nwbound.h"

class TNWLoginScriptMemo : public TNWBoundControl<QPlainTextEdit> {
  Q_OBJECT
  Q_PROPERTY(TNotifyEvent OnAfterPost READ OnAfterPost WRITE SetOnAfterPost)
  Q_PROPERTY(TNotifyEvent OnBeforePost READ OnBeforePost WRITE SetOnBeforePost)
  Q_PROPERTY(TNWBase *NWBase READ NWBase WRITE SetNWBase)
  // Default False; a form writer leaves it out when False.
  Q_PROPERTY(bool SystemLogin READ SystemLogin WRITE SetSystemLogin)

 public:
  explicit TNWLoginScriptMemo(QWidget *parent = nullptr);
  ~TNWLoginScriptMemo() override;

  // Nothing is loaded while loading; Loaded() loads once.

  TNotifyEvent OnAfterPost() const { return onAfterPost_; }
  void SetOnAfterPost(const TNotifyEvent &handler) { onAfterPost_ = handler; }
  TNotifyEvent OnBeforePost() const { return onBeforePost_; }
  void SetOnBeforePost(const TNotifyEvent &handler) { onBeforePost_ = handler; }
  bool SystemLogin() const { return systemLogin_; }
  void SetSystemLogin(bool systemLogin);

  // Clears the editor and loads the script again.
  void LoadScript();

 protected:
  void Refresh() override { LoadScript(); }

 private:
  void LoadSystemScript();
  void LoadObjectScript();
  // Maps a free drive letter to the server's SYS volume, shows the file at
  // the path below the letter (when it can be read) and removes the mapping.
  void LoadServerFile(const std::function<std::string()> &pathBelowDrive);
  void ShowScript(const std::string &content);

  bool systemLogin_ = false;
  TNotifyEvent onAfterPost_;
  TNotifyEvent onBeforePost_;
};
