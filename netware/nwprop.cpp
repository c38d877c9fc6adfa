// Property services: nothing here calls the client, so the error stays 0.
#include "netware/nwprop.h"

#include "util/nwtools.h"

int32_t PropLastError = 0;

std::string TNWProp::LastErrorText() const { return HexCode(PropLastError); }
