#include "password.h"

#include <nettle/memops.h>
#include <nettle/pbkdf2.h>
#include <string.h>
#include <sys/random.h>

#include <cstring>
#include <optional>
#include <random>

#include "common/nwtext.h"

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

template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& bytes) {
  return nwtext::HexEncode(std::string_view(reinterpret_cast<const char*>(bytes.data()), N));
}

template <std::size_t N>
bool Unhex(std::string_view text, std::array<std::uint8_t, N>* out) {
  const std::optional<std::string> bytes = nwtext::HexDecode(text);
  if (!bytes || bytes->size() != N) return false;
  std::memcpy(out->data(), bytes->data(), N);
  return true;
}

}  // namespace

void WipeString(std::string& text) {
  if (!text.empty()) explicit_bzero(text.data(), text.size());
  text.clear();
}

std::array<std::uint8_t, PasswordHash::kHashBytes> PasswordHash::Derive(
    std::string_view clear, unsigned iterations, const std::array<std::uint8_t, kSaltBytes>& salt) {
  std::string folded = nwtext::UpperAscii(clear);
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
  const unsigned iterations = nwtext::ParseNumber<unsigned>(parts[1]).value_or(0);
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
         Hex(salt_) + "$" + Hex(hash_);
}

}  // namespace nwc
