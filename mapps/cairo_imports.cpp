// libcairo's imports redirected: the slots of an import in libcairo's table
// of imported functions are rewritten, so every call libcairo makes goes to
// the replacement, from whichever program or module (a Python extension
// loaded with private symbols too) drew through it.

#include "mapps/cairo_imports.h"

#include <elf.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace mapps {
namespace {

// The symbol of a relocation entry, in this process's ELF class.
#if __ELF_NATIVE_CLASS == 64
constexpr std::size_t symbol_index(ElfW(Xword) info) { return ELF64_R_SYM(info); }
#else
constexpr std::size_t symbol_index(ElfW(Word) info) { return ELF32_R_SYM(info); }
#endif

// What the loader made of a shared object: where it lies, the part made
// read-only after loading, its symbols and their names.
struct LoadedObject {
  ElfW(Addr) base = 0;
  ElfW(Addr) relro_start = 0;
  ElfW(Addr) relro_end = 0;
  const ElfW(Sym)* symbols = nullptr;
  const char* names = nullptr;
};

// Points the slots of the relocations of `symbol` among the `size` bytes of
// `table` to `replacement`; whether there was one.
bool rewrite_slots(const LoadedObject& object, const ElfW(Rela) * table, std::size_t size,
                   const char* symbol, void* replacement) {
  bool found = false;
  const auto page_size = static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE));
  for (std::size_t k = 0; k < size / sizeof(ElfW(Rela)); ++k) {
    const ElfW(Sym)& entry = object.symbols[symbol_index(table[k].r_info)];
    if (std::strcmp(object.names + entry.st_name, symbol) != 0) continue;
    const ElfW(Addr) slot = object.base + table[k].r_offset;
    // A slot made read-only after loading is made writable for the moment.
    const bool read_only = slot >= object.relro_start && slot < object.relro_end;
    const ElfW(Addr) page = slot & ~(page_size - 1);
    void* start = reinterpret_cast<void*>(page);
    const std::size_t span = slot + sizeof(void*) - page;
    if (read_only && mprotect(start, span, PROT_READ | PROT_WRITE) != 0) continue;
    std::memcpy(reinterpret_cast<void*>(slot), &replacement, sizeof(void*));
    if (read_only) mprotect(start, span, PROT_READ);
    found = true;
  }
  return found;
}

// What to redirect, and whether any slot was found.
struct Redirection {
  const char* symbol;
  void* replacement;
  bool found = false;
};

// dl_iterate_phdr's callback: in libcairo, points the slots of the
// Redirection's symbol to its replacement.
int rewrite_in_cairo(dl_phdr_info* info, std::size_t, void* what) {
  if (info->dlpi_name == nullptr || std::strstr(info->dlpi_name, "/libcairo.so") == nullptr)
    return 0;
  LoadedObject object;
  object.base = info->dlpi_addr;
  const ElfW(Dyn)* dynamic = nullptr;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type == PT_DYNAMIC)
      dynamic = reinterpret_cast<const ElfW(Dyn)*>(object.base + segment.p_vaddr);
    if (segment.p_type == PT_GNU_RELRO) {
      object.relro_start = object.base + segment.p_vaddr;
      object.relro_end = object.relro_start + segment.p_memsz;
    }
  }
  if (dynamic == nullptr) return 1;
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
  if (object.symbols == nullptr || object.names == nullptr) return 1;
  // Calls through the procedure linkage table, and (built without one)
  // through the global offset table.
  Redirection& r = *static_cast<Redirection*>(what);
  if (plt != nullptr && plt_is_rela)
    r.found |= rewrite_slots(object, plt, plt_size, r.symbol, r.replacement);
  if (data != nullptr) r.found |= rewrite_slots(object, data, data_size, r.symbol, r.replacement);
  return 1;
}

}  // namespace

bool redirect_cairo_import(const char* symbol, void* replacement) {
  Redirection r{symbol, replacement};
  dl_iterate_phdr(rewrite_in_cairo, &r);
  return r.found;
}

}  // namespace mapps
