// Server services: one file server's connection by name, description, clock
// and directory listings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "netware/nwtypes.h"
#include "nwclient.h"

extern int32_t ServerLastResult;
extern int32_t ServerLastError;

class TNWServer {
 public:
  TNWServer() = default;
  TNWServer(const TNWServer &) = delete;
  TNWServer &operator=(const TNWServer &) = delete;
  std::string LastErrorText() const;
};

struct TNWServerInfo {
  std::string ServerName;
  uint32_t EnvWord0 = 0;
  uint8_t Spare1 = 0;
  uint8_t EnvByte24 = 0;
  int32_t Spare2 = 0;
  int32_t Spare3 = 0;
  uint32_t EnvWord140 = 0;
  uint32_t EnvWord144 = 0;
  std::string Version;
  uint16_t MaxConns = 0;
  uint16_t ConnsInUse = 0;
  uint16_t PeakConns = 0;
  uint16_t Volumes = 0;
  uint8_t SFTLevel = 0;
  uint8_t TTSLevel = 0;
};

// A moment on the server's clock.
struct TNWDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

NWCONN_HANDLE ConnectionByServerName(const std::string &name);
bool GetServerInfo(NWCONN_HANDLE conn, TNWServerInfo &info);
bool SetServerDateTime(NWCONN_HANDLE conn, const TNWDateTime &moment);
std::vector<std::string> ListDirectoryFiles(const std::string &path);
std::vector<std::string> ListSubdirectories(const std::string &path);
