// Types shared by the service units and the components above them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One row of an object list: a text and a 32-bit object value (an object
// kind, a bindery object ID, a connection number, a handle or a job number).
struct TNWObjItem {
  std::string text;
  uint32_t value = 0;

  bool operator==(const TNWObjItem &) const = default;
};

// An ordered list of rows, owned by whoever received it.
using TNWObjList = std::vector<TNWObjItem>;
