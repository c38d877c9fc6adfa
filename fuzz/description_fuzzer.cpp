// Fuzz target: the network description loader. Any bytes give a network or
// one line naming the fault, never a crash; a password given in the text
// never shows in that line.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "network.h"

namespace {

// The values of "password" fields that could only reach a message through
// that field: letters and digits, at least eight, given once in the text.
bool SecretShown(std::string_view json, const std::string& error) {
  constexpr std::string_view kKey = "\"password\"";
  for (std::size_t at = json.find(kKey); at != std::string_view::npos; at = json.find(kKey, at + 1)) {
    std::size_t p = at + kKey.size();
    while (p < json.size() && (json[p] == ' ' || json[p] == ':')) ++p;
    if (p >= json.size() || json[p] != '"') continue;
    const std::size_t start = ++p;
    bool digit = false, letter = false;
    while (p < json.size() && std::isalnum(static_cast<unsigned char>(json[p]))) {
      digit = digit || std::isdigit(static_cast<unsigned char>(json[p]));
      letter = letter || std::isalpha(static_cast<unsigned char>(json[p]));
      ++p;
    }
    const std::string_view value = json.substr(start, p - start);
    if (value.size() < 8 || !digit || !letter) continue;
    if (json.find(value) != start || json.find(value, start + 1) != std::string_view::npos) continue;
    if (error.find(value) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  std::string error;
  // The demo's folder: the demo description's volumes and LDIF file are there.
  auto net = nwc::ParseNetwork(json, nwc::DemoNetworkRoot(), "fuzz.json", &error);
  if (net != nullptr) return 0;
  if (error.rfind("fuzz.json: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
  if (SecretShown(json, error)) std::abort();
  return 0;
}
