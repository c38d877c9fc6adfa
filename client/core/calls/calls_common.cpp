// Helpers shared by the calls entry points: wildcards, clock bytes, opening
// connections, and NetWare paths on volumes.
#include "calls_common.h"

#include <vector>

#include "common/nwtext.h"

namespace nwc::calls {

namespace fs = std::filesystem;

namespace {

bool MatchOnce(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || nwtext::UpperChar(pattern[p]) == nwtext::UpperChar(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool WildMatch(std::string_view pattern, std::string_view name) {
  if (MatchOnce(pattern, name)) return true;
  if (name.find('.') != std::string_view::npos) return false;
  std::string dotted(name);
  dotted.push_back('.');
  return MatchOnce(pattern, dotted);
}

void ClockBytes(std::time_t when, nuint8 (&out)[7]) {
  std::tm tm{};
  localtime_r(&when, &tm);
  out[0] = static_cast<nuint8>(tm.tm_year);  // years since 1900; 105 is 2005
  out[1] = static_cast<nuint8>(tm.tm_mon + 1);
  out[2] = static_cast<nuint8>(tm.tm_mday);
  out[3] = static_cast<nuint8>(tm.tm_hour);
  out[4] = static_cast<nuint8>(tm.tm_min);
  out[5] = static_cast<nuint8>(tm.tm_sec);
  out[6] = static_cast<nuint8>(tm.tm_wday);
}

NWCCODE ConnectionTo(Network& net, Server& server, Connection** out) {
  Workstation& ws = net.workstation;
  if (Connection* existing = ws.FindConnectionTo(server)) {
    *out = existing;
    return SUCCESSFUL;
  }
  if (ws.connections.size() >= kWorkstationConnections) return NO_SERVER_SLOTS;
  Connection* conn = net.OpenConnection(server);
  if (conn == nullptr) return NO_SERVER_SLOTS;
  if (ws.Primary() == nullptr) ws.primary = conn->handle;
  *out = conn;
  return SUCCESSFUL;
}

// ---- paths ----------------------------------------------------------------------

std::string VolumePath::Restated() const { return volume->name + ":" + path; }

std::string VolumePath::Full() const { return server->name + "/" + Restated(); }

bool JoinVolumePath(const std::string& base, std::string_view relative, std::string* out) {
  std::vector<std::string> parts;
  auto add = [&](std::string_view piece) {
    if (piece.empty() || piece == ".") return true;
    if (piece == "..") {
      if (parts.empty()) return false;  // above the volume's root
      parts.pop_back();
      return true;
    }
    parts.emplace_back(piece);
    return true;
  };
  auto split = [&](std::string_view text) {
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || IsSeparator(text[i])) {
        if (!add(text.substr(start, i - start))) return false;
        start = i + 1;
      }
    }
    return true;
  };
  if (!split(base) || !split(relative)) return false;
  std::string joined;
  for (const std::string& p : parts) {
    if (!joined.empty()) joined.push_back('\\');
    joined += p;
  }
  *out = std::move(joined);
  return true;
}

namespace {

NWCCODE FindPlace(Network& net, std::string_view serverName, std::string_view volumeName, const std::string& base,
                  std::string_view rest, VolumePath* out) {
  if (serverName.empty() || serverName.size() >= NW_MAX_BINDERY_NAME) return INVALID_PATH;
  Server* server = net.FindServer(serverName);
  if (server == nullptr) return NWE_SERVER_NOT_FOUND;
  if (volumeName.empty()) return INVALID_PATH;
  const Volume* volume = server->FindVolume(volumeName);
  if (volume == nullptr) return VOLUME_DOES_NOT_EXIST;
  VolumePath place{server, volume, {}};
  if (!JoinVolumePath(base, rest, &place.path)) return INVALID_PATH;
  *out = std::move(place);
  return SUCCESSFUL;
}

}  // namespace

NWCCODE ParseWorkstationPath(Network& net, std::string_view text, VolumePath* out, bool* local) {
  *local = false;
  // \\SERVER\VOL\PATH
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1])) {
    std::string_view rest = text.substr(2);
    const std::size_t s1 = rest.find_first_of("\\/");
    if (s1 == std::string_view::npos) return INVALID_PATH;
    std::string_view server = rest.substr(0, s1);
    rest = rest.substr(s1 + 1);
    const std::size_t s2 = rest.find_first_of("\\/");
    std::string_view volume = rest.substr(0, s2);
    rest = s2 == std::string_view::npos ? std::string_view() : rest.substr(s2 + 1);
    if (volume.find(':') != std::string_view::npos) return INVALID_PATH;
    return FindPlace(net, server, volume, {}, rest, out);
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return INVALID_PATH;  // no current directory to go from
  const std::string_view prefix = text.substr(0, colon);
  const std::string_view rest = text.substr(colon + 1);
  if (prefix.size() == 1) {
    const char letter = nwtext::UpperChar(prefix[0]);
    if (letter < 'A' || letter > 'Z') return INVALID_PATH;
    const DriveMapping drive = ReadDrive(letter - 'A' + 1);
    if (!drive.netware) {
      std::string path;
      if (!JoinVolumePath({}, rest, &path)) return INVALID_PATH;
      *out = VolumePath{nullptr, nullptr, std::move(path)};
      *local = true;
      return SUCCESSFUL;
    }
    return FindPlace(net, drive.server, drive.volume, drive.path, rest, out);
  }
  const std::size_t sep = prefix.find_first_of("\\/");
  if (sep == std::string_view::npos) {
    Connection* primary = net.workstation.Primary();
    if (primary == nullptr) return INVALID_CONNECTION;
    return FindPlace(net, primary->server->name, prefix, {}, rest, out);
  }
  const std::string_view volume = prefix.substr(sep + 1);
  if (volume.find_first_of("\\/") != std::string_view::npos) return INVALID_PATH;
  return FindPlace(net, prefix.substr(0, sep), volume, {}, rest, out);
}

NWCCODE ResolveOnConnection(const Connection& conn, NWDIR_HANDLE dirHandle, std::string_view text,
                            VolumePath* out) {
  Server& server = *conn.server;
  const Volume* volume = nullptr;
  std::string base;
  if (dirHandle != 0) {
    auto it = conn.dirHandles.find(dirHandle);
    if (it == conn.dirHandles.end()) return BAD_DIRECTORY_HANDLE;
    volume = server.FindVolume(it->second.volume);
    if (volume == nullptr) return BAD_DIRECTORY_HANDLE;
    base = it->second.path;
  }
  std::string_view rest = text;
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    std::string_view prefix = text.substr(0, colon);
    const std::size_t sep = prefix.find_first_of("\\/");
    if (sep != std::string_view::npos) {
      // A full path must name the connection's own server.
      if (UpperAscii(prefix.substr(0, sep)) != server.name) return INVALID_PATH;
      prefix = prefix.substr(sep + 1);
    }
    if (prefix.empty() || prefix.find_first_of("\\/") != std::string_view::npos) return INVALID_PATH;
    volume = server.FindVolume(prefix);
    if (volume == nullptr) return VOLUME_DOES_NOT_EXIST;
    base.clear();
    rest = text.substr(colon + 1);
  }
  if (volume == nullptr) return INVALID_PATH;
  VolumePath place{&server, volume, {}};
  if (!JoinVolumePath(base, rest, &place.path)) return INVALID_PATH;
  *out = std::move(place);
  return SUCCESSFUL;
}

std::optional<fs::path> HostDirectory(const VolumePath& where) {
  if (where.volume == nullptr) return std::nullopt;
  auto host = where.volume->HostPath(where.path, true);
  std::error_code ec;
  if (!host || !fs::is_directory(*host, ec)) return std::nullopt;
  return host;
}

}  // namespace nwc::calls
