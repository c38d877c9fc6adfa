// A client for tests: the real stand-in libraries, loaded by name, with
// chosen entry points removed or replaced and chosen libraries missing.
#pragma once

#include <map>
#include <set>
#include <string>

#include "netware/nwlibrary.h"

class FakeClient : public nwlib::Loader {
 public:
  FakeClient() {
    nwlib::ForgetAllEntries();
    nwlib::SetLoader(this);
  }
  ~FakeClient() override {
    nwlib::SetLoader(nullptr);
    nwlib::ForgetAllEntries();
  }

  // The library (by client name, e.g. "NETWIN32.DLL") cannot be loaded.
  FakeClient &WithoutLibrary(const std::string &dllName) {
    missingLibraries_.insert(nwlib::PlatformLibraryName(dllName));
    return *this;
  }
  // The entry point is not exported.
  FakeClient &Without(const std::string &entry) {
    missingEntries_.insert(entry);
    return *this;
  }
  // The entry point is answered by the given function instead of the client.
  template <typename Fn>
  FakeClient &Replace(const std::string &entry, Fn fn) {
    replaced_[entry] = reinterpret_cast<void *>(fn);
    return *this;
  }
  // How many times an entry point was looked up.
  int Lookups(const std::string &entry) const {
    auto it = lookups_.find(entry);
    return it == lookups_.end() ? 0 : it->second;
  }

  nwlib::LibHandle Open(const std::string &libraryName) override {
    if (missingLibraries_.count(libraryName)) return nullptr;
    return nwlib::SystemLoader().Open(libraryName);
  }
  void *Symbol(nwlib::LibHandle library, const char *entryName) override {
    ++lookups_[entryName];
    if (missingEntries_.count(entryName)) return nullptr;
    auto it = replaced_.find(entryName);
    if (it != replaced_.end()) return it->second;
    return nwlib::SystemLoader().Symbol(library, entryName);
  }

 private:
  std::set<std::string> missingLibraries_;
  std::set<std::string> missingEntries_;
  std::map<std::string, void *> replaced_;
  std::map<std::string, int> lookups_;
};
