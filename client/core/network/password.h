// Salted password hashes of directory objects (PBKDF2-HMAC-SHA256).
//
// Clear passwords are never stored: a description's clear password is hashed
// when it is loaded and the clear text wiped. NetWare clients upper-case
// passwords before they send them, so hashing folds a-z to A-Z first and the
// comparison does not depend on case.
//
// Encoded form: "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nwc {

class PasswordHash {
 public:
  static constexpr unsigned kDefaultIterations = 10000;
  static constexpr std::size_t kSaltBytes = 16;
  static constexpr std::size_t kHashBytes = 32;

  // Hashes `clear` with a fresh random salt.
  static PasswordHash Create(std::string_view clear, unsigned iterations = kDefaultIterations);
  // Reads the encoded form; nothing when it is malformed.
  static std::optional<PasswordHash> Parse(std::string_view encoded);

  // Constant-time comparison of the hash of `clear` with this one.
  bool Matches(std::string_view clear) const;
  std::string Encoded() const;
  unsigned Iterations() const { return iterations_; }

 private:
  unsigned iterations_ = kDefaultIterations;
  std::array<std::uint8_t, kSaltBytes> salt_{};
  std::array<std::uint8_t, kHashBytes> hash_{};

  static std::array<std::uint8_t, kHashBytes> Derive(std::string_view clear, unsigned iterations,
                                                     const std::array<std::uint8_t, kSaltBytes>& salt);
};

// Overwrites a string's characters before it is released.
void WipeString(std::string& text);

}  // namespace nwc
