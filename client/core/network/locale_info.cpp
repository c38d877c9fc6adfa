#include "locale_info.h"

#include <array>

namespace nwc {

namespace {

const std::array<LocaleInfo, 10> kLocales = {{
    {1, ".", ",", "$", "USD", 1, 0, 0, 0, "/", ":", ",", "AM", "PM"},
    {2, ",", " ", "$", "CAD", 0, 1, 2, 1, "-", ":", ";", "", ""},
    {31, ",", ".", "f", "NLG", 1, 1, 1, 1, "-", ":", ";", "", ""},
    {32, ",", ".", "BF", "BEF", 0, 1, 1, 1, "/", ":", ";", "", ""},
    {33, ",", " ", "F", "FRF", 0, 1, 1, 1, "/", ":", ";", "", ""},
    {34, ",", ".", "Pts", "ESP", 0, 1, 1, 1, "/", ":", ";", "", ""},
    {39, ",", ".", "L.", "ITL", 1, 0, 1, 1, "/", ".", ";", "", ""},
    {41, ".", "'", "Fr.", "CHF", 1, 1, 1, 1, ".", ":", ";", "", ""},
    {44, ".", ",", "\xA3", "GBP", 1, 0, 1, 1, "/", ":", ",", "", ""},
    {49, ",", ".", "DM", "DEM", 0, 1, 1, 1, ".", ":", ";", "", ""},
}};

const std::array<std::int32_t, 8> kCodePages = {437, 850, 852, 860, 863, 865, 866, 1252};

}  // namespace

const LocaleInfo* FindLocale(std::int32_t country) {
  for (const LocaleInfo& l : kLocales) {
    if (l.country == country) return &l;
  }
  return nullptr;
}

bool IsKnownCodePage(std::int32_t codePage) {
  for (std::int32_t cp : kCodePages) {
    if (cp == codePage) return true;
  }
  return false;
}

}  // namespace nwc
