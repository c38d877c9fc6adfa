// Server services: a connection to a server by name, the server's
// description and clock, and the names in one of its directories. The entry
// points are looked up in the connection services' libraries, in slots of
// this unit's own.
#include "netware/nwserver.h"

#include <new>
#include <optional>

#include "common/nwtext.h"
#include "netware/tessel.h"
#include "netware/tessel_entries.h"
#include "util/nwtools.h"

int32_t ServerLastResult = 0;
int32_t ServerLastError = 0;

namespace nwserver {
#define NWSERVER_DEFINE(name, lib) nwlib::Entry<PFN_##name> name{#name, lib};
NWSERVER_DEFINE(NWParseNetWarePath, CallsLibrary)
NWSERVER_DEFINE(NWAllocTemporaryDirectoryHandle, CallsLibrary)
NWSERVER_DEFINE(NWIntScanDirEntryInfo, CallsLibrary)
NWSERVER_DEFINE(NWGetFileServerInformation, CallsLibrary)
NWSERVER_DEFINE(NWGetFileServerInfo, CallsLibrary)
NWSERVER_DEFINE(NWSetFileServerDateAndTime, CallsLibrary)
NWSERVER_DEFINE(NWCCOpenConnByName, ConnLibrary)
NWSERVER_DEFINE(NWGetConnectionHandle, CallsLibrary)
#undef NWSERVER_DEFINE
}  // namespace nwserver

using namespace nwserver;
using tessel::OrPrimary;

namespace {
constexpr nuint16 kFileSearch = FA_HIDDEN | FA_SYSTEM;                  // 6
constexpr nuint16 kDirectorySearch = FA_DIRECTORY | FA_HIDDEN | FA_SYSTEM;  // 22
constexpr nuint32 kScanStart = 0xFFFFFFFF;
constexpr std::size_t kPatternArea = 128;

bool ServerRecord(int32_t code) { return nwlib::Status{ServerLastResult, ServerLastError}.Record(code); }

// The entry's name: as many characters as its length byte says, never more
// than the zero-terminated text within the record's name field.
std::string EntryName(const NWENTRY_INFO &entry) {
  return LeftStr(nwlib::TextOfArea(entry.name), entry.nameLength);
}

std::vector<std::string> ListDirectory(const std::string &path, nuint16 searchAttributes) {
  std::vector<std::string> names;
  if (!NWParseNetWarePath.Bind() || !NWAllocTemporaryDirectoryHandle.Bind() || !NWIntScanDirEntryInfo.Bind()) {
    return names;
  }
  nuint32 iterator = kScanStart;
  // SRV1/VOL1:\*.* is the pattern *.* in the directory SRV1/VOL1:/
  const std::string upper = nwtext::UpperAscii(path);
  const std::size_t cut = upper.find_last_of("\\:");
  const std::size_t patternStart = cut == std::string::npos ? 0 : cut + 1;
  char pattern[kPatternArea];
  char directory[NW_MAX_PATH];
  if (!nwlib::CopyToArea(upper.substr(patternStart), pattern) ||
      !nwlib::CopyToArea(ReplaceText(upper.substr(0, patternStart), "\\", "/"), directory)) {
    return names;
  }
  NWENTRY_INFO entry{};
  NWCONN_HANDLE conn = 0;
  NWDIR_HANDLE dirHandle = 0;
  char restated[NW_MAX_PATH] = {};
  if (NWParseNetWarePath(directory, &conn, &dirHandle, restated) != 0) return names;
  restated[NW_MAX_PATH - 1] = '\0';
  NWDIR_HANDLE scanHandle = 0;
  nuint8 rights = 0;
  if (NWAllocTemporaryDirectoryHandle(conn, 0, restated, &scanHandle, &rights) != 0) return names;
  while (NWIntScanDirEntryInfo(conn, scanHandle, searchAttributes, &iterator, pattern, &entry, 0) == 0) {
    try {
      names.push_back(EntryName(entry));
    } catch (const std::bad_alloc &) {
      break;
    }
  }
  return names;
}
}  // namespace

std::string TNWServer::LastErrorText() const { return HexCode(ServerLastError); }

NWCONN_HANDLE ConnectionByServerName(const std::string &name) {
  NWCCOpenConnByName.Bind();  // either way alone will do
  NWGetConnectionHandle.Bind();
  char server[NW_MAX_BINDERY_NAME];
  if (!tessel::BinderyNameArea(name, server)) return 0;
  NWCONN_HANDLE conn = 0;
  std::optional<int32_t> code;
  if (NWCCOpenConnByName.Bound()) {
    code = NWCCOpenConnByName(0, server, NWCC_NAME_FORMAT_BIND, NWCC_OPEN_LICENSED, NWCC_TRAN_TYPE_WILD, &conn);
  }
  if ((!code || *code != 0 || conn == 0) && NWGetConnectionHandle.Bound()) {
    code = NWGetConnectionHandle(server, 0, &conn, nullptr);
  }
  if (!code) return 0;
  return ServerRecord(*code) ? conn : 0;
}

bool GetServerInfo(NWCONN_HANDLE conn, TNWServerInfo &info) {
  if (!NWGetFileServerInfo.Bind() || !NWGetFileServerInformation.Bind()) return false;
  conn = OrPrimary(conn);
  char name[NW_MAX_BINDERY_NAME] = {};
  nuint8 major = 0, minor = 0, revision = 0, sftLevel = 0, ttsLevel = 0;
  nuint16 maxConns = 0, peakConns = 0, connsInUse = 0, volumes = 0;
  if (NWGetFileServerInformation(conn, name, &major, &minor, &revision, &maxConns, &peakConns, &connsInUse,
                                 &volumes, &sftLevel, &ttsLevel) != 0) {
    return false;
  }
  // The environment record exists from version 4 on.
  NWFSE_SERVER_INFO environment{};
  const bool result = major > 3 ? NWGetFileServerInfo(conn, &environment) == 0 : true;

  info.ServerName = nwlib::TextOfArea(name);
  info.EnvWord0 = environment.currentServerTime;
  info.Spare1 = 0;
  info.EnvByte24 = environment.processorType;
  info.Spare2 = 0;
  info.Spare3 = 0;
  info.EnvWord140 = environment.totalServerMemory;
  info.EnvWord144 = environment.nlmsLoaded;
  info.Version = std::to_string(major) + "." + std::to_string(minor);
  info.MaxConns = maxConns;
  info.ConnsInUse = connsInUse;
  info.PeakConns = peakConns;
  info.Volumes = volumes;
  info.SFTLevel = sftLevel;
  info.TTSLevel = ttsLevel;
  return result;
}

bool SetServerDateTime(NWCONN_HANDLE conn, const TNWDateTime &moment) {
  if (!NWSetFileServerDateAndTime.Bind()) return false;
  conn = OrPrimary(conn);
  const int year = moment.year > 1900 ? moment.year - 1900 : moment.year;
  auto byte = [](int value) { return static_cast<nuint8>(value); };
  return ServerRecord(NWSetFileServerDateAndTime(conn, byte(year), byte(moment.month), byte(moment.day),
                                                 byte(moment.hour), byte(moment.minute), byte(moment.second)));
}

std::vector<std::string> ListDirectoryFiles(const std::string &path) { return ListDirectory(path, kFileSearch); }

std::vector<std::string> ListSubdirectories(const std::string &path) {
  return ListDirectory(path, kDirectorySearch);
}
