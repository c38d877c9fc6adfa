#include "password.h"

#include <nettle/memops.h>
#include <nettle/pbkdf2.h>
#include <string.h>
#include <sys/random.h>

#include <random>

namespace nwc {

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr unsigned kMaxIterations = 10000000;

void FillRandom(std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = getrandom(data + done, size - done, 0);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  if (done < size) {
    std::random_device rd;
    for (; done < size; ++done) data[done] = static_cast<std::uint8_t>(rd());
  }
}

std::string Hex(const std::uint8_t* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 15]);
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <std::size_t N>
bool Unhex(std::string_view text, std::array<std::uint8_t, N>* out) {
  if (text.size() != N * 2) return false;
  for (std::size_t i = 0; i < N; ++i) {
    int hi = HexDigit(text[2 * i]);
    int lo = HexDigit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    (*out)[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return true;
}

}  // namespace

void WipeString(std::string& text) {
  if (!text.empty()) explicit_bzero(text.data(), text.size());
  text.clear();
}

std::array<std::uint8_t, PasswordHash::kHashBytes> PasswordHash::Derive(
    std::string_view clear, unsigned iterations, const std::array<std::uint8_t, kSaltBytes>& salt) {
  std::string folded(clear);
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  std::array<std::uint8_t, kHashBytes> out{};
  pbkdf2_hmac_sha256(folded.size(), reinterpret_cast<const std::uint8_t*>(folded.data()), iterations,
                     salt.size(), salt.data(), out.size(), out.data());
  WipeString(folded);
  return out;
}

PasswordHash PasswordHash::Create(std::string_view clear, unsigned iterations) {
  PasswordHash h;
  h.iterations_ = iterations == 0 ? 1 : iterations;
  FillRandom(h.salt_.data(), h.salt_.size());
  h.hash_ = Derive(clear, h.iterations_, h.salt_);
  return h;
}

std::optional<PasswordHash> PasswordHash::Parse(std::string_view encoded) {
  std::string_view parts[4];
  for (int i = 0; i < 3; ++i) {
    std::size_t cut = encoded.find('$');
    if (cut == std::string_view::npos) return std::nullopt;
    parts[i] = encoded.substr(0, cut);
    encoded.remove_prefix(cut + 1);
  }
  parts[3] = encoded;
  if (parts[0] != kScheme || parts[1].empty() || parts[1].size() > 8) return std::nullopt;
  unsigned iterations = 0;
  for (char c : parts[1]) {
    if (c < '0' || c > '9') return std::nullopt;
    iterations = iterations * 10 + static_cast<unsigned>(c - '0');
  }
  if (iterations == 0 || iterations > kMaxIterations) return std::nullopt;
  PasswordHash h;
  h.iterations_ = iterations;
  if (!Unhex(parts[2], &h.salt_) || !Unhex(parts[3], &h.hash_)) return std::nullopt;
  return h;
}

bool PasswordHash::Matches(std::string_view clear) const {
  auto candidate = Derive(clear, iterations_, salt_);
  return memeql_sec(candidate.data(), hash_.data(), hash_.size()) != 0;
}

std::string PasswordHash::Encoded() const {
  return std::string(kScheme) + "$" + std::to_string(iterations_) + "$" +
         Hex(salt_.data(), salt_.size()) + "$" + Hex(hash_.data(), hash_.size());
}

}  // namespace nwc
