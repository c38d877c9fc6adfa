// Drives and paths: network drive letters, mapping a letter to a NetWare
// path and back, splitting a path, and the client's error mode.
#include "netware/tessel.h"

#include "common/nwtext.h"
#include "netware/tessel_entries.h"
#include "util/nwtools.h"

using namespace tessel;

namespace {
constexpr int kDriveOffset = 64;  // drive 1 is A
constexpr nuint16 kLastDrive = 26;
constexpr nuint16 kDriveScope = 0;
}  // namespace

char FirstDriveLetter() {
  if (!NWGetFirstDrive.Bind()) return 0;
  nuint16 drive = 0;
  if (NWGetFirstDrive(&drive) != 0) return 0;
  return static_cast<char>(drive + kDriveOffset);
}

char NextFreeDriveLetter() {
  if (!NWGetDriveStatus.Bind()) return 0;
  // Computed in 8 bits: no first drive (character 0) lands far above Z.
  const uint8_t start = static_cast<uint8_t>(FirstDriveLetter() - kDriveOffset);
  if (start > kLastDrive) return 0;
  for (nuint16 drive = start; drive <= kLastDrive; ++drive) {
    nuint16 status = 0;
    NWCONN_HANDLE conn = 0;
    char root[NW_MAX_PATH] = {}, relative[NW_MAX_PATH] = {}, full[NW_MAX_PATH] = {};
    if (NWGetDriveStatus(drive, 0, &status, &conn, root, relative, full) == 0 && status == NW_FREE_DRIVE) {
      return static_cast<char>(drive + kDriveOffset);
    }
  }
  return 0;
}

bool MapDrive(char letter, const std::string &path) {
  if (!NWParseNetWarePath.Bind() || !NWSetDriveBase.Bind()) return false;
  const auto drive = static_cast<nuint16>(nwtext::UpperChar(letter) - kDriveOffset);
  char area[NW_MAX_PATH];
  if (!nwlib::CopyToArea(nwtext::UpperAscii(path), area)) return false;
  NWCONN_HANDLE conn = 0;
  NWDIR_HANDLE dirHandle = 0;
  char restated[NW_MAX_PATH] = {};
  if (NWParseNetWarePath(area, &conn, &dirHandle, restated) != 0) return false;
  restated[NW_MAX_PATH - 1] = '\0';
  UnmapDrive(std::string(1, letter));  // an earlier mapping of the letter goes first
  return NWSetDriveBase(drive, conn, dirHandle, restated, kDriveScope) == 0;
}

bool UnmapDrive(const std::string &letterText) {
  if (!NWDeleteDriveBase.Bind()) return false;
  if (letterText.empty()) return false;  // no letter to read
  const auto drive = static_cast<uint8_t>(nwtext::UpperChar(letterText[0]) - kDriveOffset);
  return CallsRecord(NWDeleteDriveBase(drive, kDriveScope));
}

bool SplitNetWarePath(const std::string &path, TNWParsedPath &info) {
  if (!NWParsePath.Bind()) return false;
  info = TNWParsedPath{};
  char area[NW_MAX_PATH];
  if (!nwlib::CopyToArea(nwtext::UpperAscii(path), area)) return false;
  char server[NW_MAX_BINDERY_NAME] = {};
  char volume[NW_MAX_PATH] = {};
  char directory[NW_MAX_PATH] = {};
  NWCONN_HANDLE conn = 0;
  if (!CallsRecord(NWParsePath(area, server, &conn, volume, directory))) return false;
  info.Connection = conn;
  info.ServerName = LeftStr(nwlib::TextOfArea(server), 40);
  info.VolumeName = LeftStr(nwlib::TextOfArea(volume), 128);
  info.DirPath = LeftStr(nwlib::TextOfArea(directory), 128);
  return true;
}

uint8_t ApplyErrorMode(uint8_t mode) {
  if (!NWSetNetWareErrorMode.Bind()) return 0;
  nuint8 previous = 0;
  if (!CallsRecord(NWSetNetWareErrorMode(mode, &previous))) return 0;
  return previous;
}
