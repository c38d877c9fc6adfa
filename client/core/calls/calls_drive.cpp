// The workstation's drive letters, its NetWare paths and the requester's
// error mode. The drive table lives in a per-user folder in the manner of the
// well-known Windows compatibility layers: one symbolic link per mapped
// letter ("g:") to the host folder of the mapped directory, and beside it
// ("g:.netware") the NetWare path the letter stands for. Every process of
// the user sees the same mappings, and a mapping lasts until it is deleted.
// util/nwfiles.cpp reads files through the same folder.
#include <atomic>
#include <cstdlib>
#include <fstream>

#include "common/nwtext.h"
#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;
namespace fs = std::filesystem;

namespace {

// Path formats of NWGetDriveStatus.
constexpr nuint16 kFormatNetWare = 0;       // SERVER/VOL:PATH
constexpr nuint16 kFormatServerVolume = 1;  // SERVER\VOL:PATH
constexpr nuint16 kFormatDrive = 2;         // the letter's root, as G:\ is
constexpr nuint16 kFormatUnc = 3;           // \\SERVER\VOL\PATH

constexpr const char kMappingSuffix[] = ".netware";

std::atomic<nuint8> errorMode{0};

bool ValidDrive(unsigned drive) { return drive >= 1 && drive <= 26; }

std::string LinkName(int drive) { return std::string(1, static_cast<char>('a' + drive - 1)) + ":"; }

// Replaces `target` by a file or link made under a temporary name first, so
// that other processes see the old entry or the new one, never half of one.
template <typename Make>
bool ReplaceAtomically(const fs::path& target, Make make) {
  const fs::path temp = target.parent_path() / (target.filename().string() + ".tmp" + std::to_string(::getpid()));
  std::error_code ec;
  fs::remove(temp, ec);
  if (!make(temp)) {
    fs::remove(temp, ec);
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) fs::remove(temp, ec);
  return !ec;
}

std::string FormatPath(const DriveMapping& m, int drive, nuint16 format) {
  std::string path = m.path;
  switch (format) {
    case kFormatServerVolume: return m.server + "\\" + m.volume + ":" + path;
    case kFormatDrive: return std::string(1, static_cast<char>('A' + drive - 1)) + ":\\";
    case kFormatUnc: return "\\\\" + m.server + "\\" + m.volume + (path.empty() ? "" : "\\" + path);
    case kFormatNetWare:
    default: return m.server + "/" + m.volume + ":" + path;
  }
}

}  // namespace

namespace nwc::calls {

fs::path DriveFolder() { return nwtext::DriveFolder(); }

DriveMapping ReadDrive(int drive) {
  DriveMapping m;
  if (!ValidDrive(static_cast<unsigned>(drive))) return m;
  const fs::path folder = DriveFolder();
  const fs::path link = folder / LinkName(drive);
  std::error_code ec;
  m.present = fs::exists(fs::symlink_status(link, ec));
  if (!m.present || !fs::is_symlink(fs::symlink_status(link, ec))) return m;
  std::ifstream in(folder / (LinkName(drive) + kMappingSuffix));
  std::string line;
  if (!in || !std::getline(in, line)) return m;
  // SERVER/VOL:PATH
  const std::size_t slash = line.find('/');
  const std::size_t colon = line.find(':');
  if (slash == std::string::npos || colon == std::string::npos || colon < slash) return m;
  m.server = line.substr(0, slash);
  m.volume = line.substr(slash + 1, colon - slash - 1);
  m.path = line.substr(colon + 1);
  m.netware = !m.server.empty() && !m.volume.empty();
  return m;
}

}  // namespace nwc::calls

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetFirstDrive(nuint16* firstDrive) {
  Call call;
  if (firstDrive == nullptr) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  *firstDrive = call.net->workstation.firstDrive;
  return SUCCESSFUL;
}

// A free letter has status 0; a letter the folder holds without a NetWare
// path is a local drive. The mapping's root is given in the path format
// asked for; the drive's current directory is its root.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWGetDriveStatus(nuint16 driveNumber, nuint16 pathFormat, nuint16* status,
                                                           NWCONN_HANDLE* conn, char* rootPath, char* relativePath,
                                                           char* fullPath) {
  Call call;
  if (!ValidDrive(driveNumber)) return INVALID_DRIVE;
  if (pathFormat > kFormatUnc) return INVALID_PARAMETER;
  const DriveMapping m = ReadDrive(driveNumber);
  nuint16 state = NW_FREE_DRIVE;
  NWCONN_HANDLE handle = 0;
  std::string root;
  if (m.netware) {
    state = NW_NETWARE_DRIVE;
    root = FormatPath(m, driveNumber, pathFormat);
    if (root.size() >= NW_MAX_PATH) return BUFFER_OVERFLOW;
    if (call.net != nullptr) {
      if (Server* s = call.net->FindServer(m.server)) {
        if (Connection* c = call.net->workstation.FindConnectionTo(*s)) handle = c->handle;
      }
    }
  } else if (m.present) {
    state = NW_LOCAL_DRIVE;
  }
  if (status != nullptr) *status = state;
  if (conn != nullptr) *conn = handle;
  if (rootPath != nullptr) PutText(rootPath, NW_MAX_PATH, root);
  if (relativePath != nullptr) PutText(relativePath, NW_MAX_PATH, "");
  if (fullPath != nullptr) PutText(fullPath, NW_MAX_PATH, root);
  return SUCCESSFUL;
}

// Maps a letter to an existing directory on the connection's server. An
// earlier NetWare mapping of the letter is replaced; a local drive is not.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWSetDriveBase(nuint16 driveNumber, NWCONN_HANDLE conn,
                                                         NWDIR_HANDLE dirHandle, const char* dirPath, nuint16) {
  Call call;
  if (!ValidDrive(driveNumber)) return INVALID_DRIVE;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  const auto len = dirPath == nullptr ? std::optional<std::size_t>(0) : BoundedLength(dirPath, NW_MAX_PATH);
  if (!len) return INVALID_PATH;
  VolumePath where;
  const NWCCODE rc = ResolveOnConnection(*c, dirHandle, std::string_view(dirPath ? dirPath : "", *len), &where);
  if (rc != SUCCESSFUL) return rc;
  const auto host = HostDirectory(where);
  const Slot* slot = c->ServerSlot();
  if (!host || slot == nullptr || !slot->LoggedIn()) return INVALID_PATH;
  const std::string netwarePath = where.Full();
  if (netwarePath.size() >= NW_MAX_PATH) return INVALID_PATH;
  const DriveMapping existing = ReadDrive(driveNumber);
  if (existing.present && !existing.netware) return DRIVE_IN_USE;

  std::error_code ec;
  const fs::path target = fs::canonical(*host, ec);
  if (ec) return INVALID_PATH;
  const fs::path folder = DriveFolder();
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return DRIVE_CANNOT_MAP;
  const std::string name = LinkName(driveNumber);
  const bool made =
      ReplaceAtomically(folder / (name + kMappingSuffix),
                        [&](const fs::path& temp) {
                          std::ofstream out(temp, std::ios::binary | std::ios::trunc);
                          out << netwarePath << '\n';
                          return static_cast<bool>(out.flush());
                        }) &&
      ReplaceAtomically(folder / name, [&](const fs::path& temp) {
        std::error_code lec;
        fs::create_directory_symlink(target, temp, lec);
        return !lec;
      });
  return made ? SUCCESSFUL : DRIVE_CANNOT_MAP;
}

extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWDeleteDriveBase(nuint16 driveNumber, nuint16) {
  Call call;
  if (!ValidDrive(driveNumber)) return INVALID_DRIVE;
  const DriveMapping m = ReadDrive(driveNumber);
  if (!m.netware) return NWE_DRIVE_NOT_MAPPED;  // free, or a local drive
  const fs::path folder = DriveFolder();
  const std::string name = LinkName(driveNumber);
  std::error_code ec;
  const bool removed = fs::remove(folder / name, ec);
  fs::remove(folder / (name + kMappingSuffix), ec);
  return removed ? SUCCESSFUL : BAD_DRIVE_BASE;
}

// A workstation path split into its server, volume and directory, with the
// connection to the server. A path on a local drive gives no server and
// connection 0.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWParsePath(const char* path, char* serverName, NWCONN_HANDLE* conn,
                                                      char* volumeName, char* dirPath) {
  Call call;
  if (call.net == nullptr) return INVALID_CONNECTION;
  const auto len = BoundedLength(path, NW_MAX_PATH);
  if (!len) return INVALID_PATH;
  VolumePath where;
  bool local = false;
  NWCCODE rc = ParseWorkstationPath(*call.net, std::string_view(path, *len), &where, &local);
  if (rc != SUCCESSFUL) return rc;
  NWCONN_HANDLE handle = 0;
  if (!local) {
    Connection* c = nullptr;
    rc = ConnectionTo(*call.net, *where.server, &c);
    if (rc != SUCCESSFUL) return rc;
    handle = c->handle;
  }
  if (where.path.size() >= NW_MAX_PATH) return INVALID_PATH;
  if (serverName != nullptr) PutText(serverName, NW_MAX_BINDERY_NAME, local ? "" : where.server->name);
  if (conn != nullptr) *conn = handle;
  if (volumeName != nullptr) PutText(volumeName, NW_MAX_PATH, local ? "" : where.volume->name);
  if (dirPath != nullptr) PutText(dirPath, NW_MAX_PATH, where.path);
  return SUCCESSFUL;
}

// 0 interactive, 1 NetWare, 2 DOS; the requester's setting for the process.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWSetNetWareErrorMode(nuint8 mode, nuint8* prevMode) {
  if (mode > 2) return INVALID_PARAMETER;
  const nuint8 previous = errorMode.exchange(mode);
  if (prevMode != nullptr) *prevMode = previous;
  return SUCCESSFUL;
}
