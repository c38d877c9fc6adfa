// Small text and path helpers shared by every layer, the stand-in client
// included: NetWare's ASCII-only case folding, numbers read with overflow
// checks, hexadecimal text, and the two file-system questions that the
// client and the utility unit both ask. Plain C++, no Qt; header only, so
// that the client, which may not link the system, uses the same code.
#pragma once

#include <nettle/base16.h>
#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace nwtext {

// ---- case: a to z only; every other byte stays as it is ----------------------

constexpr char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline void UpperInPlace(std::string& text) {
  for (char& c : text) c = UpperChar(c);
}
inline void UpperInPlace(char* text) {
  for (; *text != '\0'; ++text) *text = UpperChar(*text);
}

inline std::string UpperAscii(std::string_view text) {
  std::string out(text);
  UpperInPlace(out);
  return out;
}

inline std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  }
  return true;
}

// FNV-1a (64 bits) over the bytes with a to z folded: texts that
// EqualNoCase finds equal hash alike.
inline std::uint64_t FoldedHash(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(UpperChar(c));
    h *= 1099511628211ull;
  }
  return h;
}

// Byte order after folding, as an unsigned byte compares.
inline bool LessNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(UpperChar(a[i]));
    const auto y = static_cast<unsigned char>(UpperChar(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

// ---- numbers ---------------------------------------------------------------------

// The whole text as a number in the base given: digits only (a minus sign
// for signed types), nothing before or after them, and within the type's
// range; nothing otherwise.
template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base = 10) {
  static_assert(std::is_integral_v<T>);
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// ---- hexadecimal text --------------------------------------------------------------

// Bytes as lower-case hexadecimal text.
inline std::string HexEncode(std::string_view bytes) {
  std::string out(BASE16_ENCODE_LENGTH(bytes.size()), '\0');
  base16_encode_update(out.data(), bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  return out;
}

// Hexadecimal text (either case, nothing else in it, not even blanks) as
// bytes; nothing when the text is not that.
inline std::optional<std::string> HexDecode(std::string_view text) {
  if (text.size() % 2 != 0 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
    return std::nullopt;
  }
  std::string out(BASE16_DECODE_LENGTH(text.size()), '\0');
  base16_decode_ctx ctx;
  base16_decode_init(&ctx);
  std::size_t size = out.size();
  if (!base16_decode_update(&ctx, &size, reinterpret_cast<std::uint8_t*>(out.data()), text.size(), text.data()) ||
      !base16_decode_final(&ctx)) {
    return std::nullopt;
  }
  out.resize(size);
  return out;
}

// ---- files -------------------------------------------------------------------------

// The folder that holds the workstation's drive letters, one link and one
// mapping file per letter: $NWCLIENT_DRIVES, or nwclient/dosdevices in the
// user's data folder.
inline std::filesystem::path DriveFolder() {
  namespace fs = std::filesystem;
  if (const char* own = std::getenv("NWCLIENT_DRIVES"); own != nullptr && *own != '\0') return fs::path(own);
  fs::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    data = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      const passwd* pw = ::getpwuid(::getuid());
      home = pw != nullptr ? pw->pw_dir : "/";
    }
    data = fs::path(home) / ".local" / "share";
  }
  return data / "nwclient" / "dosdevices";
}

// Whether a path is the folder or lies below it, component by component
// (both already made canonical by the caller).
inline bool PathWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
  auto f = folder.begin();
  auto p = path.begin();
  for (; f != folder.end(); ++f, ++p) {
    if (p == path.end() || *f != *p) return false;
  }
  return true;
}

}  // namespace nwtext
