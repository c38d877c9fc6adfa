// Helpers shared by the calls entry points (calls_*.cpp): finding the
// connection a handle names, bounded text in and out of the caller's fixed
// areas, NetWare wildcards, server clock bytes, NetWare paths and the
// workstation's drive table.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "network.h"

namespace nwc::calls {

// Server replies that nwclient.h has no name for.
inline constexpr NWCCODE kNoSuchSegment = 0x89EC;       // property segment beyond the last
inline constexpr NWCCODE kRequestNotSupported = 0x89FB; // the server does not know the request

// Per-station results of NWSendBroadcastMessage.
inline constexpr nuint16 kMessageRejected = 0xFC;  // the station refuses broadcasts
inline constexpr nuint16 kNoSuchStation = 0xFD;    // no station at that number

// Connections the requester can hold at once (NWGetMaximumConnections).
inline constexpr std::uint16_t kWorkstationConnections = 50;

// The lock on the model for the length of one call, and the network (nullptr
// when none could be loaded).
struct Call {
  std::unique_lock<std::recursive_mutex> lock = NetworkLock();
  Network* net = CurrentNetwork();

  Connection* Conn(NWCONN_HANDLE handle) const {
    return net != nullptr ? net->workstation.FindConnection(handle) : nullptr;
  }
};

// Length of a caller's zero-terminated text when it is shorter than `room`
// bytes (terminator included); nothing when it is null or does not end there.
// Never reads more than `room` bytes.
inline std::optional<std::size_t> BoundedLength(const char* text, std::size_t room) {
  if (text == nullptr) return std::nullopt;
  const std::size_t len = strnlen(text, room);
  if (len >= room) return std::nullopt;
  return len;
}

// Copies text and its terminator into an area of `room` bytes; false (area
// untouched) when it does not fit whole.
inline bool PutText(char* area, std::size_t room, std::string_view text) {
  if (area == nullptr || text.size() >= room) return false;
  if (!text.empty()) std::memcpy(area, text.data(), text.size());
  area[text.size()] = '\0';
  return true;
}

// NetWare wildcard match without regard to case: '*' any run of characters,
// '?' one character. A name without a dot also matches as if it ended in one,
// so "*.*" and "*." find names that have no extension, as DOS does.
bool WildMatch(std::string_view pattern, std::string_view name);

// A moment on a server's clock as NetWare's date-and-time bytes: year - 1900,
// month, day, hour, minute, second, day of the week (0 Sunday).
void ClockBytes(std::time_t when, nuint8 (&out)[7]);

// The workstation's own connection to a server, opened when there is none.
// NO_SERVER_SLOTS when the server or the requester has no room.
NWCCODE ConnectionTo(Network& net, Server& server, Connection** out);

// ---- NetWare paths ----------------------------------------------------------

// A place on a volume: the path within it (components joined by '\', no
// leading separator; empty for the volume's root).
struct VolumePath {
  Server* server = nullptr;
  const Volume* volume = nullptr;
  std::string path;

  std::string Restated() const;  // "VOL:PATH"
  std::string Full() const;      // "SERVER/VOL:PATH"
};

// Puts `relative` (separators '\' or '/', "." and ".." allowed) below `base`.
// False when ".." would climb above the volume's root.
bool JoinVolumePath(const std::string& base, std::string_view relative, std::string* out);

// A workstation path: "SERVER/VOL:PATH", "SERVER\VOL:PATH", "VOL:PATH" (on
// the primary connection's server), "G:PATH" (through the drive table) or
// "\\SERVER\VOL\PATH". `local` is set, with SUCCESSFUL, for a drive letter
// that is not a network drive. Nothing outside the volume is accepted.
NWCCODE ParseWorkstationPath(Network& net, std::string_view text, VolumePath* out, bool* local);

// A path given to a connection, relative to one of its directory handles
// (0: none; the path then names the volume, "VOL:PATH", or also the server,
// "SERVER/VOL:PATH"). BAD_DIRECTORY_HANDLE, VOLUME_DOES_NOT_EXIST, INVALID_PATH.
NWCCODE ResolveOnConnection(const Connection& conn, NWDIR_HANDLE dirHandle, std::string_view text,
                            VolumePath* out);

// The host folder of an existing directory on a volume; nothing when it does
// not exist, is no directory or lies outside the volume.
std::optional<std::filesystem::path> HostDirectory(const VolumePath& where);

// ---- the drive table ------------------------------------------------------------

// The workstation's drive-letter folder: $NWCLIENT_DRIVES, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/nwclient/dosdevices. One symbolic link
// per mapped letter ("g:") to the host folder, and beside it ("g:.netware")
// the NetWare path the letter stands for. Every process of the user sees the
// same table; a mapping lasts until it is deleted.
std::filesystem::path DriveFolder();

struct DriveMapping {
  bool present = false;  // the folder has an entry for the letter
  bool netware = false;  // ... made by this client, with its NetWare path
  std::string server, volume, path;
};

// What the drive table holds for drive number 1 to 26.
DriveMapping ReadDrive(int drive);

}  // namespace nwc::calls
