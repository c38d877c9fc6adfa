// TNWBase: the object lists for display and the bindery type words.
#include "base/nwbase.h"

#include <array>
#include <cstddef>

#include "netware/nwnds.h"
#include "netware/tessel.h"

namespace {

// Type word of each TNWObjType, in the enumeration's order.
constexpr std::array<uint16_t, 17> kObjTypeWords = {
    0,       // nwObjTypeNone
    0x0100,  // nwObjTypeUser
    0x0200,  // nwObjTypeGroup
    0x0300,  // nwObjTypePrintQ
    0x0400,  // nwObjTypeFileServer
    0x0500,  // nwObjTypeJobServer
    0x0600,  // nwObjTypeGateway
    0x0700,  // nwObjTypePrintServer
    0x0800,  // nwObjTypeArchiveQueue
    0x0900,  // nwObjTypeArchiveServer
    0x0A00,  // nwObjTypeJobQueue
    0x0B00,  // nwObjTypeAdministration
    0x2100,  // nwObjTypeNASSNAServer
    0x2600,  // nwObjTypeRemoteBridge
    0x2700,  // nwObjTypeTCPIPGateway
    0,       // nwObjTypeNDSTree
    0,       // nwObjTypeConnectedServer
};

// Type word scanned for each bindery list kind; 0 for the other kinds. The
// job queue list scans the job-server word.
uint16_t ListTypeWord(TNWObjListType listType) {
  switch (listType) {
    case nwlUser: return 0x0100;
    case nwlGroup: return 0x0200;
    case nwlPrintQ: return 0x0300;
    case nwlFileServer: return 0x0400;
    case nwlPrintServer: return 0x0700;
    case nwlArchiveServer: return 0x0900;
    case nwlJobQueue: return 0x0500;
    case nwlAdministration: return 0x0B00;
    case nwlNASSNAServer: return 0x2100;
    case nwlRemoteBridge: return 0x2600;
    case nwlTCPIPGateway: return 0x2700;
    default: return 0;
  }
}

}  // namespace

uint16_t TNWBase::ObjTypeToBinderyType(TNWObjType objType) {
  const auto index = static_cast<std::size_t>(objType);
  return index < kObjTypeWords.size() ? kObjTypeWords[index] : 0;
}

TNWObjType TNWBase::ObjectType() {
  const uint16_t word = BinderyTypeOf(ServerHandle(), loginID_);
  if (word != 0) {
    for (std::size_t i = 0; i < kObjTypeWords.size(); ++i) {
      if (kObjTypeWords[i] == word) return static_cast<TNWObjType>(i);
    }
  }
  RaiseNWError(QToNWString(tr("Invalid Netware Object Type")));
  return nwObjTypeUser;
}

TNWObjList TNWBase::GetObjectList(TNWObjListType listType) {
  switch (listType) {
    case nwlUserList:
      return ConnectedUsers(ServerHandle(), false);
    case nwlConnectedFileServer:
      return ConnectedServers();
    case nwlNDSTree:
      return NDSAvailable() ? ListTreeNames() : TNWObjList{};
    case nwlNDSObjList:
      return NDSAvailable() ? ListSubordinates(contextName_, std::string()) : TNWObjList{};
    default:
      break;
  }
  const uint16_t word = ListTypeWord(listType);
  if (word == 0) return {};  // nwlNone and kinds this component does not know
  return BinderyObjectList(ServerHandle(), word);
}
