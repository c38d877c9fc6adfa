// TNWLoginScriptMemo: where a login script comes from and how it is shown.
#include "controls/nwlogmem.h"

#include <QEvent>

#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "netware/nwnds.h"
#include "netware/tessel.h"
#include "util/nwfiles.h"

namespace {

// A drive letter mapped for one read; the mapping goes when the guard does.
class TemporaryDrive {
 public:
  explicit TemporaryDrive(char letter) : letter_(letter) {}
  ~TemporaryDrive() { UnmapDrive(std::string(1, letter_)); }
  TemporaryDrive(const TemporaryDrive &) = delete;
  TemporaryDrive &operator=(const TemporaryDrive &) = delete;

 private:
  char letter_;
};

// The stream's file handle is the receiver's to close.
class StreamHandle {
 public:
  explicit StreamHandle(std::unique_ptr<THandleStream> stream) : stream_(std::move(stream)) {}
  ~StreamHandle() {
    const int handle = stream_->Handle();
    stream_.reset();
    if (handle >= 0) ::close(handle);
  }
  StreamHandle(const StreamHandle &) = delete;
  StreamHandle &operator=(const StreamHandle &) = delete;
  THandleStream &operator*() { return *stream_; }

 private:
  std::unique_ptr<THandleStream> stream_;
};

}  // namespace

TNWLoginScriptMemo::TNWLoginScriptMemo(QWidget *parent)
    : TNWBoundControl(parent, nwnServerChange | nwnUserChange) {}

TNWLoginScriptMemo::~TNWLoginScriptMemo() = default;

void TNWLoginScriptMemo::SetSystemLogin(bool systemLogin) {
  systemLogin_ = systemLogin;
  LoadScript();
}

void TNWLoginScriptMemo::LoadScript() {
  if (loading_) return;
  // The editor repaints once, after it is cleared and filled.
  TNWRepaintGuard update(this);
  clear();
  if (nwBase_.isNull()) return;
  if (systemLogin_) {
    LoadSystemScript();
  } else {
    LoadObjectScript();
  }
}

void TNWLoginScriptMemo::LoadSystemScript() {
  LoadServerFile([] { return std::string(":\\public\\net$log.dat"); });
}

void TNWLoginScriptMemo::LoadObjectScript() {
  const std::string object = QToNWString(nwBase_->LoginID());
  if (object.empty()) return;
  if (nwBase_->NDSAvailable()) {
    std::unique_ptr<THandleStream> opened;
    if (!OpenAttrStream(std::string(), object, dsaLoginScript, opened) || !opened) return;
    StreamHandle stream(std::move(opened));
    ShowScript((*stream).ReadAll());
    return;
  }
  // A bindery server keeps the script in the object's mail directory.
  LoadServerFile([this] { return ":\\mail\\" + QToNWString(nwBase_->ObjectID()) + "\\login"; });
}

void TNWLoginScriptMemo::LoadServerFile(const std::function<std::string()> &pathBelowDrive) {
  const char letter = NextFreeDriveLetter();
  if (!MapDrive(letter, QToNWString(nwBase_->ServerName()) + "/sys:")) return;
  // The mapping is removed whether the file could be read or not.
  const TemporaryDrive drive(letter);
  std::string content;
  if (ReadDriveFile(std::string(1, letter) + pathBelowDrive(), content)) ShowScript(content);
}

void TNWLoginScriptMemo::ShowScript(const std::string &content) {
  // Lines end at CR LF, LF or a lone CR.
  QString text = NWToQString(content);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);  // the last line's break starts no new line
  setPlainText(text);
}
