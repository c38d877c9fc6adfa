// Volumes backed by host folders: parsing NetWare paths, temporary directory
// handles and scanning a directory's entries. Nothing outside a volume's host
// folder is ever named or listed: ".." stops at the volume's root, and a
// link that leads out of the volume is not followed.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/nwtext.h"
#include "calls_common.h"
#include "entries.h"

using namespace nwc;
using namespace nwc::calls;
namespace fs = std::filesystem;

namespace {

constexpr nuint32 kScanStart = 0xFFFFFFFF;
constexpr nuint16 kSearchFilesAndDirectories = 0x8000;
constexpr nuint8 kAllRights = 0xFF;
constexpr nuint8 kUserRights = 0x45;  // read, open, file scan
constexpr std::size_t kNameField = sizeof(NWENTRY_INFO::name);

struct HostEntry {
  std::string name;
  std::string folded;  // for the scan order
  nuint32 attributes = 0;
  nuint32 size = 0;
  std::time_t modified = 0;
};

// DOS date in the high word, DOS time in the low word.
nuint32 DosDateTime(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  if (tm.tm_year < 80) return 0;
  const nuint32 date = (static_cast<nuint32>(tm.tm_year - 80) << 9) | (static_cast<nuint32>(tm.tm_mon + 1) << 5) |
                       static_cast<nuint32>(tm.tm_mday);
  const nuint32 time = (static_cast<nuint32>(tm.tm_hour) << 11) | (static_cast<nuint32>(tm.tm_min) << 5) |
                       static_cast<nuint32>(tm.tm_sec / 2);
  return (date << 16) | time;
}

// The entries of a host folder that a scan with these attributes and this
// pattern finds, in the server's (name) order.
std::vector<HostEntry> ScanFolder(const fs::path& folder, const fs::path& volumeRoot, nuint16 searchAttrs,
                                  std::string_view pattern) {
  std::vector<HostEntry> found;
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(volumeRoot, ec);
  if (ec) return found;
  const bool both = (searchAttrs & kSearchFilesAndDirectories) != 0;
  const bool wantDirectories = both || (searchAttrs & FA_DIRECTORY) != 0;
  const bool wantFiles = both || (searchAttrs & FA_DIRECTORY) == 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path item = it->path();
    const std::string name = item.filename().string();
    if (name.size() >= kNameField) continue;  // does not fit the record's name field
    std::error_code ec2;
    if (fs::is_symlink(fs::symlink_status(item, ec2))) {
      const fs::path target = fs::canonical(item, ec2);
      if (ec2 || !nwtext::PathWithin(target, root)) continue;  // never followed out of the volume
    }
    struct stat st {};
    if (::stat(item.c_str(), &st) != 0) continue;
    HostEntry e;
    if (S_ISDIR(st.st_mode)) {
      if (!wantDirectories) continue;
      e.attributes |= FA_DIRECTORY;
    } else if (S_ISREG(st.st_mode)) {
      if (!wantFiles) continue;
      e.size = st.st_size > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<nuint32>(st.st_size);
    } else {
      continue;  // devices, pipes and sockets are no NetWare entries
    }
    if (name[0] == '.') {
      if ((searchAttrs & FA_HIDDEN) == 0) continue;
      e.attributes |= FA_HIDDEN;
    }
    if ((st.st_mode & S_IWUSR) == 0 && !S_ISDIR(st.st_mode)) e.attributes |= FA_READ_ONLY;
    if (!WildMatch(pattern, name)) continue;
    e.name = name;
    e.folded = UpperAscii(name);
    e.modified = st.st_mtime;
    found.push_back(std::move(e));
  }
  std::sort(found.begin(), found.end(), [](const HostEntry& a, const HostEntry& b) {
    return a.folded != b.folded ? a.folded < b.folded : a.name < b.name;
  });
  return found;
}

// What identifies one scan: the directory handle (with its allocation, so a
// reused number is another scan), the search attributes and the pattern.
struct ScanKey {
  const Network* net = nullptr;
  NWCONN_HANDLE conn = 0;
  NWDIR_HANDLE handle = 0;
  std::uint64_t serial = 0;
  nuint16 attrs = 0;
  std::string pattern;
  fs::path folder;

  bool operator==(const ScanKey&) const = default;
};

struct ScanCache {
  ScanKey key;
  std::vector<HostEntry> entries;
};

// A connection that is not logged in reaches SYS:LOGIN only.
bool MayReach(const Connection& conn, const VolumePath& where) {
  const Slot* slot = conn.ServerSlot();
  if (slot != nullptr && slot->LoggedIn()) return true;
  return where.volume->name == "SYS" && (UpperAscii(where.path) == "LOGIN" || UpperAscii(where.path).rfind("LOGIN\\", 0) == 0);
}

nuint8 RightsOf(const Connection& conn) {
  const Slot* slot = conn.ServerSlot();
  if (slot == nullptr || !slot->LoggedIn()) return kUserRights;
  const BinderyObject* o = conn.server->FindObject(slot->objectId);
  return (o != nullptr && o->manager) ? kAllRights : kUserRights;
}

}  // namespace

// "SERVER/VOL:PATH" and its other forms, as a connection to the server (the
// existing one, or a new one) and the path restated as "VOL:PATH" on it.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWParseNetWarePath(const char* path, NWCONN_HANDLE* conn,
                                                             NWDIR_HANDLE* dirHandle, char* newPath) {
  Call call;
  if (conn == nullptr || dirHandle == nullptr || newPath == nullptr) return INVALID_PARAMETER;
  if (call.net == nullptr) return INVALID_CONNECTION;
  const auto len = BoundedLength(path, NW_MAX_PATH);
  if (!len) return INVALID_PATH;
  VolumePath where;
  bool local = false;
  NWCCODE rc = ParseWorkstationPath(*call.net, std::string_view(path, *len), &where, &local);
  if (rc != SUCCESSFUL) return rc;
  if (local) return INVALID_PATH;  // a local drive is no NetWare path
  const std::string restated = where.Restated();
  if (restated.size() >= NW_MAX_PATH) return INVALID_PATH;
  Connection* c = nullptr;
  rc = ConnectionTo(*call.net, *where.server, &c);
  if (rc != SUCCESSFUL) return rc;
  *conn = c->handle;
  *dirHandle = 0;
  PutText(newPath, NW_MAX_PATH, restated);
  return SUCCESSFUL;
}

// A handle to an existing directory on one of the connection's volumes.
// When all 255 are taken, the oldest temporary handle is reclaimed, as the
// requester frees a task's temporary handles.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWAllocTemporaryDirectoryHandle(NWCONN_HANDLE conn, NWDIR_HANDLE dirHandle,
                                                                          const char* dirPath,
                                                                          NWDIR_HANDLE* newDirHandle,
                                                                          nuint8* rightsMask) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (newDirHandle == nullptr) return INVALID_PARAMETER;
  const auto len = dirPath == nullptr ? std::optional<std::size_t>(0) : BoundedLength(dirPath, NW_MAX_PATH);
  if (!len) return INVALID_PATH;
  VolumePath where;
  const NWCCODE rc = ResolveOnConnection(*c, dirHandle, std::string_view(dirPath ? dirPath : "", *len), &where);
  if (rc != SUCCESSFUL) return rc;
  if (!MayReach(*c, where) || !HostDirectory(where)) return INVALID_PATH;

  auto& handles = c->dirHandles;
  std::uint64_t serial = 1;
  for (const auto& [number, h] : handles) serial = std::max(serial, h.serial + 1);
  NWDIR_HANDLE number = 0;
  for (unsigned n = 1; n <= 255; ++n) {
    if (handles.count(static_cast<NWDIR_HANDLE>(n)) == 0) {
      number = static_cast<NWDIR_HANDLE>(n);
      break;
    }
  }
  if (number == 0) {
    auto oldest = handles.end();
    for (auto it = handles.begin(); it != handles.end(); ++it) {
      if (it->second.temporary && (oldest == handles.end() || it->second.serial < oldest->second.serial)) oldest = it;
    }
    if (oldest == handles.end()) return NO_MORE_DIRECTORY_HANDLES;
    number = oldest->first;
  }
  handles[number] = DirHandle{where.volume->number, where.path, true, serial};
  *newDirHandle = number;
  if (rightsMask != nullptr) *rightsMask = RightsOf(*c);
  return SUCCESSFUL;
}

// The next entry of a directory that matches the pattern and the search
// attributes: 0x10 subdirectories only, otherwise files only (0x8000 both);
// hidden and system entries only with their bits. The iterator starts at
// 0xFFFFFFFF and afterwards holds the sequence number of the entry returned.
extern "C" NWEXPORT NWCCODE NWAPI nwcore_NWIntScanDirEntryInfo(NWCONN_HANDLE conn, NWDIR_HANDLE dirHandle,
                                                                nuint16 searchAttrs, nuint32* iterHandle,
                                                                const char* searchPattern, NWENTRY_INFO* entryInfo,
                                                                nuint8) {
  Call call;
  Connection* c = call.Conn(conn);
  if (c == nullptr) return INVALID_CONNECTION;
  if (iterHandle == nullptr || entryInfo == nullptr) return INVALID_PARAMETER;
  auto h = c->dirHandles.find(dirHandle);
  if (h == c->dirHandles.end()) return BAD_DIRECTORY_HANDLE;
  const Volume* volume = c->server->FindVolume(h->second.volume);
  if (volume == nullptr) return BAD_DIRECTORY_HANDLE;
  std::string_view pattern = "*";
  if (searchPattern != nullptr) {
    const auto len = BoundedLength(searchPattern, NW_MAX_PATH);
    if (!len) return INVALID_PATH;
    if (*len > 0) pattern = std::string_view(searchPattern, *len);
  }
  const auto folder = HostDirectory(VolumePath{c->server, volume, h->second.path});
  if (!folder) return INVALID_PATH;

  // A scan reads the folder once, at its start; the following calls of the
  // same scan take the next entry of that reading.
  static ScanCache cache;
  const ScanKey key{call.net, conn, dirHandle, h->second.serial, searchAttrs, std::string(pattern), *folder};
  if (*iterHandle == kScanStart || !(cache.key == key)) {
    cache.key = key;
    cache.entries = ScanFolder(*folder, volume->root, searchAttrs, pattern);
  }
  const std::vector<HostEntry>& entries = cache.entries;
  const std::size_t index = *iterHandle == kScanStart ? 0 : *iterHandle;
  if (index >= entries.size()) return NO_FILES_FOUND;
  const HostEntry& e = entries[index];
  NWENTRY_INFO info{};
  info.sequence = static_cast<nuint32>(index + 1);
  info.attributes = e.attributes;
  info.nameSpace = 0;  // DOS
  info.nameLength = static_cast<nuint8>(e.name.size());
  PutText(info.name, sizeof info.name, e.name);
  info.creationDateAndTime = DosDateTime(e.modified);
  info.updateDateAndTime = info.creationDateAndTime;
  info.ownerID = IdFromDisplay(1);  // SUPERVISOR
  info.dataForkSize = e.size;
  *entryInfo = info;
  *iterHandle = info.sequence;
  return SUCCESSFUL;
}
