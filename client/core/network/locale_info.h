// Country conventions of the workstation's locale, as NWLlocaleconv reports
// them, and the code pages the client has conversion tables for.
#pragma once

#include <cstdint>

namespace nwc {

struct LocaleInfo {
  std::int32_t country;
  const char* decimalPoint;
  const char* thousandsSep;
  const char* currencySymbol;
  const char* intCurrencySymbol;  // ISO 4217 code
  char currencyPrecedes;          // 1: symbol before the amount
  char currencySpace;             // 1: blank between symbol and amount
  std::int32_t dateFormat;        // 0 month-day-year, 1 day-month-year, 2 year-month-day
  std::int32_t timeFormat;        // 0 12-hour clock, 1 24-hour clock
  const char* dateSeparator;
  const char* timeSeparator;
  const char* listSeparator;
  const char* am;
  const char* pm;
};

// nullptr for a country the client has no conventions for.
const LocaleInfo* FindLocale(std::int32_t country);
bool IsKnownCodePage(std::int32_t codePage);

}  // namespace nwc
