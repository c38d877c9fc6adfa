// Files on mapped drive letters: the drive-letter folder the NetWare client
// keeps (client/core/calls/calls_drive.cpp writes it) and reading through it.
#include "util/nwfiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "common/nwtext.h"

namespace fs = std::filesystem;

namespace {

// The host path of a drive-letter path; nothing when the letter is not
// mapped, a component does not exist or the path leaves the drive's root.
std::optional<fs::path> DrivePath(const std::string &path) {
  const char letter = static_cast<char>(nwtext::UpperChar(path[0]) - 'A' + 'a');
  const fs::path folder(DriveFolder());
  std::error_code ec;
  fs::path link = folder / (std::string(1, letter) + ":");
  if (!fs::exists(link, ec)) link = folder / (std::string(1, nwtext::UpperChar(path[0])) + ":");
  const fs::path root = fs::canonical(link, ec);
  if (ec || !fs::is_directory(root, ec)) return std::nullopt;

  std::vector<std::string> parts;
  std::string piece;
  for (std::size_t i = 2; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (piece == "..") {
        if (parts.empty()) return std::nullopt;  // above the drive's root
        parts.pop_back();
      } else if (!piece.empty() && piece != ".") {
        parts.push_back(piece);
      }
      piece.clear();
    } else {
      piece.push_back(path[i]);
    }
  }
  fs::path current = root;
  for (const std::string &part : parts) {
    fs::path exact = current / part;
    if (fs::exists(exact, ec)) {
      current = exact;
      continue;
    }
    std::optional<fs::path> match;
    for (fs::directory_iterator it(current, ec), end; !ec && it != end; it.increment(ec)) {
      if (nwtext::EqualNoCase(it->path().filename().string(), part)) {
        match = it->path();
        break;
      }
    }
    if (!match) return std::nullopt;
    current = *match;
  }
  // A link inside the mapped directory must not lead out of it.
  const fs::path real = fs::canonical(current, ec);
  if (ec || !nwtext::PathWithin(real, root)) return std::nullopt;
  return real;
}

bool IsDrivePath(const std::string &path) {
  const char c = nwtext::UpperChar(path.size() >= 2 ? path[0] : '\0');
  return c >= 'A' && c <= 'Z' && path[1] == ':';
}

}  // namespace

std::string DriveFolder() { return nwtext::DriveFolder().string(); }

bool ReadDriveFile(const std::string &path, std::string &content) {
  content.clear();
  if (path.empty()) return false;
  std::optional<fs::path> host = IsDrivePath(path) ? DrivePath(path) : std::optional<fs::path>(fs::path(path));
  std::error_code ec;
  // Only regular files: a pipe or a device would block or never end.
  if (!host || !fs::is_regular_file(*host, ec)) return false;
  std::ifstream in(*host, std::ios::binary);
  if (!in) return false;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  content = std::move(text);
  return true;
}
