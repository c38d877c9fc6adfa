// Run-time binding to the NetWare client: libraries are loaded by name and
// every entry point is looked up by name into a slot of the unit that calls
// it. Nothing of the client is linked.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace nwlib {

using LibHandle = void *;

// Where libraries and entry points come from. The system uses the operating
// system's loader; tests install their own to hand the system a client that
// lacks chosen entry points or answers chosen codes.
class Loader {
 public:
  virtual ~Loader() = default;
  virtual LibHandle Open(const std::string &libraryName) = 0;
  virtual void *Symbol(LibHandle library, const char *entryName) = 0;
};

// The file name a client library has on this platform: "NETWIN32.DLL" is
// looked up as "libnetwin32.so" along the usual search order.
std::string PlatformLibraryName(const std::string &dllName);

// Loads a client library by its client name; null when it cannot be loaded.
// Libraries are never unloaded.
LibHandle LoadLibraryByName(const std::string &dllName);

// Looks an entry point up by its exact name; null when the library is null
// or does not export it.
void *FindEntry(LibHandle library, const char *entryName);

// Replaces the loader (null restores the operating system's). The caller
// keeps ownership.
void SetLoader(Loader *loader);

// The operating system's loader, for test loaders that wrap it.
Loader &SystemLoader();

// Forgets every bound slot of every unit, so that the next call looks its
// entry point up again. Only tests need this: the system binds once per run.
void ForgetAllEntries();

class EntryBase {
 public:
  EntryBase(const char *name, LibHandle &library);
  EntryBase(const EntryBase &) = delete;
  EntryBase &operator=(const EntryBase &) = delete;
  const char *Name() const { return name_; }
  void Forget() { address_ = nullptr; }
  // True when the slot holds the entry point, looking it up if it does not
  // yet; a missing entry point is looked up again on the next call.
  bool Bind() { return BindAddress() != nullptr; }
  bool Bound() const { return address_ != nullptr; }

 protected:
  void *BindAddress();
  void *LookupAddress() const;  // fresh lookup, never cached
  void *address_ = nullptr;

 private:
  const char *name_;
  LibHandle *library_;
};

// One entry-point slot: bound by name from the library handle it watches.
template <typename Fn>
class Entry : public EntryBase {
 public:
  Entry(const char *name, LibHandle &library) : EntryBase(name, library) {}

  // For entry points that are looked up on every call and never kept.
  Fn Lookup() const { return reinterpret_cast<Fn>(LookupAddress()); }

  template <typename... Args>
  auto operator()(Args &&...args) const {
    return reinterpret_cast<Fn>(address_)(std::forward<Args>(args)...);
  }
};

// The completion-code bookkeeping of one unit: the last result, and the last
// failure, which a success never clears.
struct Status {
  int32_t &lastResult;
  int32_t &lastError;

  // Records a code; true when it is a success.
  bool Record(int32_t code) {
    lastResult = code;
    if (code != 0) lastError = code;
    return code == 0;
  }
};

// Copies text into a fixed zero-terminated area of N bytes. Refuses (false,
// area left empty) text that does not fit whole: a cut name could address
// another object.
template <std::size_t N>
bool CopyToArea(const std::string &text, char (&area)[N]) {
  area[0] = '\0';
  if (text.size() >= N) return false;
  text.copy(area, text.size());
  area[text.size()] = '\0';
  return true;
}

// Reads a zero-terminated text out of an area of N bytes, never past it.
template <std::size_t N>
std::string TextOfArea(const char (&area)[N]) {
  std::size_t len = 0;
  while (len < N && area[len] != '\0') ++len;
  return std::string(area, len);
}

inline std::string TextOfArea(const char *area, std::size_t size) {
  std::size_t len = 0;
  while (len < size && area[len] != '\0') ++len;
  return std::string(area, len);
}

}  // namespace nwlib
