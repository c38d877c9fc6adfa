// The directory schema the simulated tree uses: attribute names with their
// syntaxes, and the base classes with their naming type, containment and
// superclasses.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace nwc {

struct AttributeDef {
  std::string_view name;
  std::uint32_t syntax;
};

struct ClassDef {
  std::string_view name;
  std::string_view namingType;                 // "CN", "OU", "O", "C" or "L"
  bool container;
  std::vector<std::string_view> superclasses;  // nearest first, ending with "Top"
  std::vector<std::string_view> containedBy;   // "[Root]" for the tree root
};

// Case-insensitive look-ups; nullptr when unknown.
const AttributeDef* FindAttribute(std::string_view name);
const ClassDef* FindClass(std::string_view name);

// Whether an object of `cls` may stand directly below an object of class
// `parentClass` ("[Root]" for the root).
bool MayContain(std::string_view parentClass, const ClassDef& cls);

}  // namespace nwc
