// Connection services: the calls half of the NetWare client (CALWIN32 and
// CLXWIN32): connections and login identity, broadcast messages, the
// bindery, drives and paths.
#pragma once

#include <cstdint>
#include <string>

#include "netware/nwlibrary.h"
#include "netware/nwtypes.h"
#include "nwclient.h"

// ---- module-wide state ------------------------------------------------------
extern nwlib::LibHandle CallsLibrary;  // CALWIN32; never unloaded
extern nwlib::LibHandle ConnLibrary;   // CLXWIN32; never unloaded
extern NWCONN_HANDLE PrimaryConn;      // cached primary connection; 0 = not cached
extern int32_t CallsLastResult;
extern int32_t CallsLastError;         // last failure; 65535 when a library failed to load
extern bool DirectoryFallback;         // bindery lookups fall back to directory services

// The connection services object: its construction loads the libraries,
// initialises the calls client and caches the primary connection.
class TTessel {
 public:
  TTessel();
  TTessel(const TTessel &) = delete;
  TTessel &operator=(const TTessel &) = delete;
  std::string LastErrorText() const;
};

std::string LibraryVersion();
void SetDirectoryFallback(bool on);
bool CallsAvailable();

// ---- connections and login identity -----------------------------------------
NWCONN_HANDLE PrimaryConnection();
uint16_t ConnectionNumber(NWCONN_HANDLE conn);
std::string ConnectionLoginName(NWCONN_HANDLE conn);
std::string ConnectionServerName(NWCONN_HANDLE conn);
TNWObjList ConnectedUsers(NWCONN_HANDLE conn, bool includeAll);
TNWObjList ConnectedServers();

// A calendar date and a time of day as the server's clock gives them.
struct TNWDate {
  int year = 0, month = 0, day = 0;
  bool operator==(const TNWDate &) const = default;
};
struct TNWTime {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const TNWTime &) const = default;
};
TNWDate ReadServerDate(NWCONN_HANDLE conn);
TNWTime ReadServerTime(NWCONN_HANDLE conn);
uint16_t MaxConnections();
bool IsConsoleOperator(NWCONN_HANDLE conn);
bool IsManager(NWCONN_HANDLE conn);
bool SetPreferredServer(const std::string &name, NWCONN_HANDLE &conn);

// ---- broadcast messages ---------------------------------------------------------
uint16_t ReadBroadcastMode(NWCONN_HANDLE conn);
bool WriteBroadcastMode(NWCONN_HANDLE conn, uint16_t mode);
bool SendLineMessage(NWCONN_HANDLE conn, const std::string &objectName, const std::string &message);

// ---- bindery ------------------------------------------------------------------
uint32_t ObjectIDByName(NWCONN_HANDLE &conn, const std::string &name, uint16_t type);
std::string ObjectIDText(NWCONN_HANDLE conn, const std::string &name, uint16_t type);
std::string ObjectNameByID(NWCONN_HANDLE conn, uint32_t id);
uint32_t SwapLong(uint32_t value);
uint16_t BinderyTypeOf(NWCONN_HANDLE conn, const std::string &name);
TNWObjList BinderyObjectList(NWCONN_HANDLE conn, uint16_t type);
void ObjectFullName(NWCONN_HANDLE conn, const std::string &name, std::string &text);

// ---- drives and paths -----------------------------------------------------------
struct TNWParsedPath {
  NWCONN_HANDLE Connection = 0;
  std::string ServerName;  // at most 40 characters
  std::string VolumeName;  // at most 128 characters
  std::string DirPath;     // at most 128 characters
};
char FirstDriveLetter();
char NextFreeDriveLetter();
bool MapDrive(char letter, const std::string &path);
bool UnmapDrive(const std::string &letterText);
bool SplitNetWarePath(const std::string &path, TNWParsedPath &info);
uint8_t ApplyErrorMode(uint8_t mode);
