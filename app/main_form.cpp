// The main window: its construction from the stored description and its
// four handlers.
#include <QApplication>
#include <QIcon>
#include <QString>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/main.h"
#include "netware/nwnds.h"
#include "netware/tessel.h"
#include "util/nwdialogs.h"
#include "util/nwtools.h"

// The description lives in the library's resources, which a static library
// has to register itself.
static void InitFormResources() { Q_INIT_RESOURCE(main); }

namespace {

const QString kDescription = QStringLiteral(":/forms/main.form.json");

// The texts of the description, for the translation tools: the loader shows
// them translated in the form's context, as tr() does here.
[[maybe_unused]] const char *const kDescriptionTexts[] = {
    QT_TRANSLATE_NOOP("TForm1", "Directory Services Viewer"), QT_TRANSLATE_NOOP("TForm1", "Common Name:"),
    QT_TRANSLATE_NOOP("TForm1", "Object ID:"),                QT_TRANSLATE_NOOP("TForm1", "Full Name:"),
    QT_TRANSLATE_NOOP("TForm1", "Telephone"),                 QT_TRANSLATE_NOOP("TForm1", "Login Script"),
    QT_TRANSLATE_NOOP("TForm1", "Change Password"),           QT_TRANSLATE_NOOP("TForm1", "Send Line Message"),
    QT_TRANSLATE_NOOP("TForm1", "Close"),
};

// The longest password and message the client takes: its areas hold the
// closing zero too. The dialogs refuse any longer text.
constexpr int kPasswordBytes = NW_MAX_PASSWORD - 1;
constexpr int kMessageBytes = NW_MAX_MESSAGE - 1;

// The window's icon in the sizes a title bar, task bar and window switcher
// draw. Each file is decoded when read, so the large sizes (several times
// the others together) are left to the desktop entry's theme icon.
QIcon ProgramIcon() {
  QStringList files;
  for (int size : {16, 24, 32, 48, 64}) files << QStringLiteral(":/icons/dsviewer-%1.png").arg(size);
  return TImageList::ReadIcon(files);
}

// The text of a text-syntax value, never read past its block.
QString ValueText(const TNWValueBlock &value) {
  if (!value.data || value.size == 0) return {};
  const char *text = value.Text();
  return NWToQString(std::string(text, strnlen(text, value.size)));
}

// Overwrites a secret before its memory is given back.
void Wipe(std::string &secret) {
  volatile char *bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = '\0';
  secret.clear();
}

void Wipe(QString &secret) {
  secret.fill(QChar(u'\0'));
  secret.clear();
}

}  // namespace

TForm1::TForm1(QWidget *parent) : TCustomForm(parent) {
  InitFormResources();
  DeclareField(QStringLiteral("SuperPanel1"), SuperPanel1);
  DeclareField(QStringLiteral("SuperPanel2"), SuperPanel2);
  DeclareField(QStringLiteral("NWBase1"), NWBase1);
  DeclareField(QStringLiteral("dataPanel"), dataPanel);
  DeclareField(QStringLiteral("listPanel"), listPanel);
  DeclareField(QStringLiteral("ToolBar1"), ToolBar1);
  DeclareField(QStringLiteral("passBtn"), passBtn);
  DeclareField(QStringLiteral("ToolButton2"), ToolButton2);
  DeclareField(QStringLiteral("lineMsgBtn"), lineMsgBtn);
  DeclareField(QStringLiteral("ToolButton4"), ToolButton4);
  DeclareField(QStringLiteral("ImageList1"), ImageList1);
  DeclareField(QStringLiteral("ToolButton6"), ToolButton6);
  DeclareField(QStringLiteral("ImageList2"), ImageList2);
  DeclareField(QStringLiteral("SuperPanel4"), SuperPanel4);
  DeclareField(QStringLiteral("Label3"), Label3);
  DeclareField(QStringLiteral("Label2"), Label2);
  DeclareField(QStringLiteral("NWNDSAttrEdit2"), NWNDSAttrEdit2);
  DeclareField(QStringLiteral("objNameEdit"), objNameEdit);
  DeclareField(QStringLiteral("NWNDSAttrEdit1"), NWNDSAttrEdit1);
  DeclareField(QStringLiteral("label1"), label1);
  DeclareField(QStringLiteral("GroupBox1"), GroupBox1);
  DeclareField(QStringLiteral("GroupBox2"), GroupBox2);
  DeclareField(QStringLiteral("NWLoginScriptMemo1"), NWLoginScriptMemo1);
  DeclareField(QStringLiteral("phoneMemo"), phoneMemo);
  DeclareField(QStringLiteral("ndsTreeView"), ndsTreeView);

  PublishHandler(QStringLiteral("passBtnClick"), &TForm1::passBtnClick);
  PublishHandler(QStringLiteral("ToolButton4Click"), &TForm1::ToolButton4Click);
  PublishHandler(QStringLiteral("lineMsgBtnClick"), &TForm1::lineMsgBtnClick);
  PublishHandler(QStringLiteral("ndsTreeViewExpandUser"), &TForm1::ndsTreeViewExpandUser);

  LoadFormFile(*this, kDescription);
  setWindowIcon(ProgramIcon());
}

TForm1::~TForm1() = default;

void TForm1::ndsTreeViewExpandUser(QObject *) {
  passBtn->setEnabled(true);
  lineMsgBtn->setEnabled(true);
  // The telephone numbers are read before the current object changes; the
  // object ID is looked up after.
  TNWValueList phones;
  ReadAttrValues(std::string(), QToNWString(ndsTreeView->Text()), dsaTelephoneNumber, phones);
  NWBase1->SetLoginID(ndsTreeView->Text());
  objNameEdit->setText(NWToQString(DSObjectIDText(0, QToNWString(NWBase1->LoginID()))));
  phoneMemo->clear();
  for (const TNWValueBlock &phone : phones) phoneMemo->appendPlainText(ValueText(phone));
}

void TForm1::passBtnClick(QObject *) {
  // The password is typed into a masked field: it must not show on screen.
  QString typed;
  if (!InputQueryPassword(tr("Change User Password"), tr("Type New Password"), typed, kPasswordBytes)) return;
  std::string password = QToNWString(typed);
  Wipe(typed);
  const bool changed = ChangePassword(std::string(), QToNWString(ndsTreeView->Text()), password, std::string());
  Wipe(password);
  if (changed) {
    ShowInfo(QToNWString(tr("Password Changed Successfully!")));
  } else {
    ShowError(QToNWString(tr("Error Changing Password!")));
  }
}

void TForm1::lineMsgBtnClick(QObject *) {
  QString message;
  if (!InputQuery(tr("Send Line Message"), tr("Type Message"), message, kMessageBytes)) return;
  if (SendLineMessage(0, QToNWString(ndsTreeView->Text()), QToNWString(message))) {
    ShowInfo(QToNWString(tr("Message Sent Successfully")));
  } else {
    ShowError(QToNWString(tr("Unable to Send Message")));
  }
}

void TForm1::ToolButton4Click(QObject *) { close(); }

int RunMainWindow() {
  // The description is part of the program; one that cannot be read is a
  // broken build, reported as such rather than as a crash.
  std::unique_ptr<TForm1> form;
  try {
    form = std::make_unique<TForm1>();
  } catch (const TFormError &error) {
    std::fprintf(stderr, "dsviewer: %s\n", error.what());
    return 1;
  }
  form->show();
  return QApplication::exec();
}
