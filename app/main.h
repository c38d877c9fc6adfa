// The viewer's main window, "Directory Services Viewer": the directory tree on
// the left, the data panel of the chosen user on the right, and a tool bar with
// "Change Password", "Send Line Message" and the close button. The window is
// built from its stored description (main.form.json); it holds no NetWare logic
// of its own and acts only through NWBase1 and the controls bound to it.
#pragma once

#include <QObject>

#include "app/formcontrols.h"
#include "app/formloader.h"
#include "base/nwbase.h"
#include "controls/nwatedit.h"
#include "controls/nwlogmem.h"
#include "controls/nwtreevw.h"

class TForm1 : public TCustomForm {
  Q_OBJECT

 public:
  // Builds the window and its components from the stored description
  // (TFormError if the description cannot be read).
  explicit TForm1(QWidget *parent = nullptr);
  ~TForm1() override;

  // Component fields, filled from the description.
  TPanel *SuperPanel1 = nullptr;
  TPanel *SuperPanel2 = nullptr;
  TNWBase *NWBase1 = nullptr;
  TPanel *dataPanel = nullptr;
  TPanel *listPanel = nullptr;
  TToolBar *ToolBar1 = nullptr;
  TToolButton *passBtn = nullptr;
  TToolButton *ToolButton2 = nullptr;
  TToolButton *lineMsgBtn = nullptr;
  TToolButton *ToolButton4 = nullptr;
  TImageList *ImageList1 = nullptr;
  TToolButton *ToolButton6 = nullptr;
  TImageList *ImageList2 = nullptr;
  TPanel *SuperPanel4 = nullptr;
  TLabel *Label3 = nullptr;
  TLabel *Label2 = nullptr;
  TNWNDSAttrEdit *NWNDSAttrEdit2 = nullptr;
  TEdit *objNameEdit = nullptr;
  TNWNDSAttrEdit *NWNDSAttrEdit1 = nullptr;
  TLabel *label1 = nullptr;
  TGroupBox *GroupBox1 = nullptr;
  TGroupBox *GroupBox2 = nullptr;
  TNWLoginScriptMemo *NWLoginScriptMemo1 = nullptr;
  TMemo *phoneMemo = nullptr;
  TNWTreeView *ndsTreeView = nullptr;

  // Published handlers.
  // A user node was clicked: enables the actions, makes the user the current
  // object and fills the data panel.
  void ndsTreeViewExpandUser(QObject *sender);
  // Asks for a new password and sets it for the selected object.
  void passBtnClick(QObject *sender);
  // Asks for a line of text and sends it to every connection of the selected object.
  void lineMsgBtnClick(QObject *sender);
  // Closes the window, which ends the program.
  void ToolButton4Click(QObject *sender);
};

// The program: creates the main window, shows it and runs the message loop
// until the window is closed. Needs the QApplication to exist; returns the
// loop's exit code.
int RunMainWindow();
