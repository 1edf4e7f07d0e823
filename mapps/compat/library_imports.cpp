// A library's imports redirected: the slots the loader filled with the
// addresses of what the library takes from other objects (its global offset
// table, the part of it the procedure linkage table calls through included)
// are rewritten, so every call and every read of a variable the library makes
// goes to the replacement, from whichever program or module (a Python
// extension loaded with private symbols too) drew through it.

#include "mapps/compat/library_imports.h"

#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace mapps {
namespace {

// The symbol and the type of a relocation entry, in this process's ELF class.
#if __ELF_NATIVE_CLASS == 64
constexpr std::size_t symbol_index(ElfW(Xword) info) { return ELF64_R_SYM(info); }
constexpr unsigned relocation_type(ElfW(Xword) info) { return ELF64_R_TYPE(info); }
#else
constexpr std::size_t symbol_index(ElfW(Word) info) { return ELF32_R_SYM(info); }
constexpr unsigned relocation_type(ElfW(Word) info) { return ELF32_R_TYPE(info); }
#endif

// Whether `r` fills one pointer-sized slot with its symbol's address alone
// (no addend): a variable's or a function's address in the global offset
// table, a function's in the procedure linkage table's part of it, an address
// stored in data. Only such slots are rewritten; on platforms this does not
// know, none.
bool fills_address(const ElfW(Rela) & r) {
  [[maybe_unused]] const auto type = relocation_type(r.r_info);
#if defined(__x86_64__) && !defined(__ILP32__)
  return r.r_addend == 0 &&
         (type == R_X86_64_GLOB_DAT || type == R_X86_64_JUMP_SLOT || type == R_X86_64_64);
#elif defined(__aarch64__) && !defined(__ILP32__)
  return r.r_addend == 0 &&
         (type == R_AARCH64_GLOB_DAT || type == R_AARCH64_JUMP_SLOT || type == R_AARCH64_ABS64);
#else
  return false;
#endif
}

// What the loader made of a shared object: where it lies, the pages it made
// read-only after loading, its symbols and their names.
struct LoadedObject {
  ElfW(Addr) base = 0;
  ElfW(Addr) read_only_start = 0;
  ElfW(Addr) read_only_end = 0;
  const ElfW(Sym)* symbols = nullptr;
  const char* names = nullptr;
};

// Points the slots of the relocations of `symbol` among the `size` bytes of
// `table` to `replacement`; whether there was one.
bool rewrite_slots(const LoadedObject& object, const ElfW(Rela) * table, std::size_t size,
                   const char* symbol, const void* replacement) {
  bool found = false;
  const auto page_size = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
  for (std::size_t k = 0; k < size / sizeof(ElfW(Rela)); ++k) {
    const ElfW(Rela)& r = table[k];
    if (!fills_address(r)) continue;
    const ElfW(Sym)& entry = object.symbols[symbol_index(r.r_info)];
    if (std::strcmp(object.names + entry.st_name, symbol) != 0) continue;
    const ElfW(Addr) slot = object.base + r.r_offset;
    // A slot on a page made read-only after loading is made writable for the
    // moment.
    const bool read_only = slot >= object.read_only_start && slot < object.read_only_end;
    void* page = reinterpret_cast<void*>(slot & ~(page_size - 1));
    if (read_only && mprotect(page, page_size, PROT_READ | PROT_WRITE) != 0) continue;
    std::atomic_ref<const void*>(*reinterpret_cast<const void**>(slot)).store(replacement);
    if (read_only) mprotect(page, page_size, PROT_READ);
    found = true;
  }
  return found;
}

// What to redirect, and whether any slot was found.
struct Redirection {
  const char* library;
  const char* symbol;
  const void* replacement;
  bool found = false;
};

// Whether the file of `path` is `library` ("libgiza.so"), alone or followed
// by a version ("libgiza.so.0").
bool is_library(const char* path, const char* library) {
  const char* slash = std::strrchr(path, '/');
  const char* file = slash == nullptr ? path : slash + 1;
  const std::size_t length = std::strlen(library);
  return std::strncmp(file, library, length) == 0 && (file[length] == '\0' || file[length] == '.');
}

// dl_iterate_phdr's callback: in each object of the Redirection's library,
// points the slots of its symbol to its replacement.
int rewrite_in_library(dl_phdr_info* info, std::size_t, void* what) {
  Redirection& r = *static_cast<Redirection*>(what);
  if (info->dlpi_name == nullptr || !is_library(info->dlpi_name, r.library)) return 0;
  LoadedObject object;
  object.base = info->dlpi_addr;
  const auto page_size = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
  const ElfW(Dyn)* dynamic = nullptr;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type == PT_DYNAMIC)
      dynamic = reinterpret_cast<const ElfW(Dyn)*>(object.base + segment.p_vaddr);
    // The loader protects the whole pages of the segment, its start and its
    // end rounded down: a part of a page past the end stays writable.
    if (segment.p_type == PT_GNU_RELRO) {
      const ElfW(Addr) start = object.base + segment.p_vaddr;
      object.read_only_start = start & ~(page_size - 1);
      object.read_only_end = (start + segment.p_memsz) & ~(page_size - 1);
    }
  }
  if (dynamic == nullptr) return 0;
  // The loader has already moved these addresses to where the object lies
  // on most platforms, not on all.
  const auto at = [&object](ElfW(Addr) a) { return a < object.base ? a + object.base : a; };
  const ElfW(Rela)* plt = nullptr;
  const ElfW(Rela)* data = nullptr;
  std::size_t plt_size = 0, data_size = 0;
  bool plt_is_rela = false;
  for (const ElfW(Dyn)* d = dynamic; d->d_tag != DT_NULL; ++d) {
    const ElfW(Addr) value = d->d_un.d_ptr;
    if (d->d_tag == DT_SYMTAB) object.symbols = reinterpret_cast<const ElfW(Sym)*>(at(value));
    if (d->d_tag == DT_STRTAB) object.names = reinterpret_cast<const char*>(at(value));
    if (d->d_tag == DT_JMPREL) plt = reinterpret_cast<const ElfW(Rela)*>(at(value));
    if (d->d_tag == DT_PLTRELSZ) plt_size = d->d_un.d_val;
    if (d->d_tag == DT_PLTREL) plt_is_rela = d->d_un.d_val == DT_RELA;
    if (d->d_tag == DT_RELA) data = reinterpret_cast<const ElfW(Rela)*>(at(value));
    if (d->d_tag == DT_RELASZ) data_size = d->d_un.d_val;
  }
  if (object.symbols == nullptr || object.names == nullptr) return 0;
  // Calls through the procedure linkage table; variables, and calls of a
  // library built without that table, through the global offset table.
  if (plt != nullptr && plt_is_rela)
    r.found |= rewrite_slots(object, plt, plt_size, r.symbol, r.replacement);
  if (data != nullptr) r.found |= rewrite_slots(object, data, data_size, r.symbol, r.replacement);
  return 0;
}

}  // namespace

bool redirect_import(const char* library, const char* symbol, const void* replacement) {
  // One change at a time: two on one page would make it read-only again
  // under each other.
  static std::mutex changing;
  const std::lock_guard<std::mutex> lock(changing);
  Redirection r{library, symbol, replacement};
  dl_iterate_phdr(rewrite_in_library, &r);
  return r.found;
}

}  // namespace mapps
