#include "netware/nwlibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace nwlib {
namespace {

class DlLoader : public Loader {
 public:
  LibHandle Open(const std::string &libraryName) override {
    return dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  void *Symbol(LibHandle library, const char *entryName) override {
    return dlsym(library, entryName);
  }
};

DlLoader &TheSystemLoader() {
  static DlLoader loader;
  return loader;
}

Loader *currentLoader = nullptr;

Loader &Current() { return currentLoader ? *currentLoader : TheSystemLoader(); }

std::vector<EntryBase *> &AllEntries() {
  static std::vector<EntryBase *> entries;
  return entries;
}

}  // namespace

std::string PlatformLibraryName(const std::string &dllName) {
  std::string stem = dllName;
  auto dot = stem.rfind('.');
  if (dot != std::string::npos) stem.erase(dot);
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return "lib" + stem + ".so";
}

LibHandle LoadLibraryByName(const std::string &dllName) {
  return Current().Open(PlatformLibraryName(dllName));
}

void *FindEntry(LibHandle library, const char *entryName) {
  if (library == nullptr) return nullptr;
  return Current().Symbol(library, entryName);
}

void SetLoader(Loader *loader) { currentLoader = loader; }

Loader &SystemLoader() { return TheSystemLoader(); }

void ForgetAllEntries() {
  for (EntryBase *entry : AllEntries()) entry->Forget();
}

EntryBase::EntryBase(const char *name, LibHandle &library) : name_(name), library_(&library) {
  AllEntries().push_back(this);
}

void *EntryBase::BindAddress() {
  if (address_ == nullptr) address_ = FindEntry(*library_, name_);
  return address_;
}

void *EntryBase::LookupAddress() const { return FindEntry(*library_, name_); }

}  // namespace nwlib
