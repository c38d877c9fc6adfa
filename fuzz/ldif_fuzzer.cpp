// Fuzz target: the LDIF loader, through the description that names the
// file. Any bytes give a tree or one line naming the file and the line of
// the fault; every entry of a tree is found again by the name it lists under.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "directory.h"
#include "network.h"

namespace {

int fd = -1;
std::string file;

void Walk(const nwc::DirectoryStore& store, std::uint32_t id, int depth) {
  std::vector<nwc::EntryInfo> page;
  std::size_t total = 0;
  if (depth > 64 || store.ListSubordinates(id, 0, SIZE_MAX, &page, &total) != 0) return;
  for (const nwc::EntryInfo& e : page) {
    // Typed and typeless, the name reads back as this entry.
    for (bool typeless : {false, true}) {
      nwc::DName back;
      if (nwc::CanonicalizeName(nwc::FormatName(e.name, typeless), nwc::DName{}, store.Oracle(), &back) != 0) std::abort();
      nwc::EntryInfo found;
      if (store.Resolve(back, false, &found) != 0 || found.id != e.id) std::abort();
    }
    if ((e.flags & nwc::kEntryContainer) != 0) Walk(store, e.id, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fd = memfd_create("fuzz-ldif", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  file = "/proc/self/fd/" + std::to_string(fd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  const std::string json = R"({"directory": {"ldif": ")" + file + R"("}, "servers": []})";
  std::string error;
  auto net = nwc::ParseNetwork(json, "/", "fuzz.json", &error);
  if (net == nullptr) {
    if (error.find('\n') != std::string::npos) std::abort();
    // A fault of the file names it and a line.
    const std::string at = "fuzz.json: " + file + ":";
    if (error.rfind(at, 0) == 0 && error.find_first_not_of("0123456789", at.size()) == at.size()) std::abort();
    return 0;
  }
  nwc::EntryInfo root;
  if (net->Store()->Resolve(nwc::DName{}, false, &root) != 0) std::abort();
  Walk(*net->Store(), root.id, 0);
  return 0;
}
