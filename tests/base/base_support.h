// Helpers for the base component's tests: widgets that record the
// notifications they receive, a client without its libraries, and a small
// scripted network answered through the binding seam.
#pragma once

#include <gtest/gtest.h>

#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <functional>
#include <string>
#include <vector>

#include "base/nwbase.h"
#include "netware/fakeclient.h"

// Answers an entry point with a captureless lambda of its function type.
#define FAKE(entry, ...) client.Replace(#entry, static_cast<PFN_##entry>(__VA_ARGS__))

// Readable failure messages for Qt texts.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

using Log = std::vector<std::string>;

inline std::string MessageName(QEvent::Type type) {
  if (type == NWM_SERVERCHANGE) return "server";
  if (type == NWM_USERCHANGE) return "user";
  return "other";
}

// A control that notes "name:message" for every notification it handles, and
// may act on it.
class Recorder : public QWidget {
 public:
  using Action = std::function<void(Recorder &)>;
  Recorder(const std::string &name, QWidget *parent, Log &log, Action action = {})
      : QWidget(parent), name_(name), log_(log), action_(std::move(action)) {}

 protected:
  void customEvent(QEvent *event) override {
    log_.push_back(name_ + ":" + MessageName(event->type()));
    if (action_) action_(*this);
  }

 private:
  std::string name_;
  Log &log_;
  Action action_;
};

// The four client libraries are missing.
struct NoClient {
  NoClient() {
    for (const char *dll : {"NETWIN32.DLL", "LOCWIN32.DLL", "CALWIN32.DLL", "CLXWIN32.DLL"}) {
      client.WithoutLibrary(dll);
    }
  }
  FakeClient client;
};

// A scripted bindery network: the calls client starts with the primary
// connection kPrimary, the directory client does not start. The directory
// context entries keep their flags and name in Net so that flag writes can be
// watched; bindery scans and look-ups answer from Net as well.
namespace scripted {
constexpr NWCONN_HANDLE kPrimary = 0x1001;
constexpr NWCCConnRef kPrimaryRef = 41;
constexpr NWDSContextHandle kContext = 5;

struct State {
  nuint32 flags = DCV_DEFAULT_FLAGS;
  std::string contextName;
  NWDSCCODE getContextCode = 0;
  int flagWrites = 0;
  int errorModeCalls = 0;
  nuint8 lastErrorMode = 0xFF;
  nuint16 lastBroadcastMode = 0xFFFF;
  std::vector<nuint16> scannedTypes;
  nuint16 objectIdType = 0;  // NWGetObjectID answers only for this type word
};
inline State Net;
}  // namespace scripted

class BaseOnScriptedNetwork : public ::testing::Test {
 protected:
  BaseOnScriptedNetwork() {
    using namespace scripted;
    Net = State{};
    FAKE(NWCallsInit, [](nptr, nptr) -> NWCCODE { return 0; });
    FAKE(NWCCGetPrimConnRef, [](NWCCConnRef *ref) -> NWCCODE {
      *ref = kPrimaryRef;
      return 0;
    });
    FAKE(NWCCOpenConnByRef, [](NWCCConnRef ref, nuint32, nuint32, NWCONN_HANDLE *conn) -> NWCCODE {
      *conn = ref == kPrimaryRef ? kPrimary : 0;
      return 0;
    });
    FAKE(NWInitUnicodeTables, [](nint, nint) -> nint { return 1; });
    FAKE(NWIsDSServer, [](NWCONN_HANDLE, char *tree) -> nuint16 {
      tree[0] = '\0';
      return 0;
    });
    FAKE(NWDSCreateContext, []() -> NWDSContextHandle { return kContext; });
    FAKE(NWDSFreeContext, [](NWDSContextHandle) -> NWDSCCODE { return 0; });
    FAKE(NWDSGetContext, [](NWDSContextHandle, nint key, nptr value) -> NWDSCCODE {
      if (Net.getContextCode != 0) return Net.getContextCode;
      if (key == DCK_FLAGS) *static_cast<nuint32 *>(value) = Net.flags;
      if (key == DCK_NAME_CONTEXT) std::strcpy(static_cast<char *>(value), Net.contextName.c_str());
      return 0;
    });
    FAKE(NWDSSetContext, [](NWDSContextHandle, nint key, nptr value) -> NWDSCCODE {
      if (key == DCK_FLAGS) {
        Net.flags = *static_cast<nuint32 *>(value);
        ++Net.flagWrites;
      }
      if (key == DCK_NAME_CONTEXT) Net.contextName = static_cast<const char *>(value);
      return 0;
    });
    FAKE(NWScanObject, [](NWCONN_HANDLE, const char *, nuint16 type, nuint32 *id, char *name, nuint16 *,
                          nuint8 *, nuint8 *, nuint8 *) -> NWCCODE {
      // Two objects of every type, named after the type word.
      if (*id == 0xFFFFFFFF) Net.scannedTypes.push_back(type);
      const nuint32 next = *id == 0xFFFFFFFF ? 1 : *id + 1;
      if (next > 2) return NO_SUCH_OBJECT;
      std::snprintf(name, NW_MAX_BINDERY_NAME, "OBJ%04X-%u", type, next);
      *id = next;
      return 0;
    });
    FAKE(NWGetObjectID, [](NWCONN_HANDLE, const char *, nuint16 type, nuint32 *id) -> NWCCODE {
      if (type != Net.objectIdType) return NO_SUCH_OBJECT;
      *id = 0x10325476;
      return 0;
    });
    FAKE(NWLongSwap, [](nuint32 value) -> nuint32 { return __builtin_bswap32(value); });
    FAKE(NWSetNetWareErrorMode, [](nuint8 mode, nuint8 *previous) -> NWCCODE {
      *previous = Net.lastErrorMode;
      Net.lastErrorMode = mode;
      ++Net.errorModeCalls;
      return 0;
    });
    FAKE(NWSetBroadcastMode, [](NWCONN_HANDLE, nuint16 mode) -> NWCCODE {
      Net.lastBroadcastMode = mode;
      return 0;
    });
  }

  FakeClient client;
};
