// liblber's memory, wiped when it is freed. libldap encodes passwords into
// request buffers (a bind, a Password Modify, the request it keeps until the
// answer comes) and frees them as they are, so the clear password would stay
// in freed heap.
//
// liblber's own memory functions (LBER_OPT_MEMORY_FNS) only serve callers
// that pass a memory context, which no client call does. So the client
// defines the two liblber functions that every free and every move of such
// a buffer goes through: liblber and libldap reach them through the dynamic
// linker, which finds this library before liblber, and they behave as
// liblber's own but overwrite each block before it is released.
#include <lber.h>
#include <malloc.h>
#include <string.h>

#include <algorithm>
#include <cstdlib>

namespace {

void Wipe(void* p) {
  if (p != nullptr) explicit_bzero(p, malloc_usable_size(p));
}

}  // namespace

// liblber exports these without declaring them in its public header.
extern "C" {

void ber_memfree_x(void* p, void*) {
  Wipe(p);
  std::free(p);
}

// A new block, the old one copied and wiped: realloc could leave the old
// bytes behind in the heap.
void* ber_memrealloc_x(void* p, ber_len_t size, void* ctx) {
  if (p == nullptr) return size == 0 ? nullptr : std::malloc(size);
  if (size == 0) {
    ber_memfree_x(p, ctx);
    return nullptr;
  }
  void* moved = std::malloc(size);
  if (moved == nullptr) {
    ber_errno = LBER_ERROR_MEMORY;
    return nullptr;
  }
  memcpy(moved, p, std::min<std::size_t>(size, malloc_usable_size(p)));
  ber_memfree_x(p, ctx);
  return moved;
}

}  // extern "C"
