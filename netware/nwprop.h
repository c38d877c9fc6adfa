// Property services: the base component's property object, whose error
// text is always 0000 since nothing it does can fail.
#pragma once

#include <cstdint>
#include <string>

extern int32_t PropLastError;

class TNWProp {
 public:
  TNWProp() = default;
  TNWProp(const TNWProp &) = delete;
  TNWProp &operator=(const TNWProp &) = delete;
  std::string LastErrorText() const;
};
