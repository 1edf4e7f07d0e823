#pragma once
// What a shared library takes from other libraries, sent elsewhere, where the
// library offers no setting of its own for what the binding needs:
//   - libcairo 1.16: its tmpfile() (page_in_memory.h) and libpng's settings
//     of the pictures it writes (embedded_pictures.h);
//   - libgiza 1.3.2: the C library's stdout and stderr and the calls that
//     print to standard output without naming a stream (stdio_catch.h).

namespace mapps {

// Points `library`'s imports of `symbol` (an unversioned name) to
// `replacement`: for a function, a function of the same type; for a
// variable, a variable of the same type, which the library then reads and
// writes instead. `library` is the start of the file name of a loaded shared
// object up to ".so" ("libcairo.so"), matched by the file name alone or
// followed by a version ("libcairo.so.2"); every such object is changed.
// Returns whether any slot was found: false on a platform this does not know,
// or without the library in the process.
//
// Calls and reads the library makes afterwards reach `replacement`, whether
// it was linked with immediate or lazy binding: a slot lazy binding has not
// filled yet is never filled by it afterwards (unless a call of the library's
// is being bound through that slot at that moment, on another thread). Each
// slot changes in one store, so a thread inside the library meanwhile reaches
// the old target or the new one. Changes do not run at the same time as one
// another.
bool redirect_import(const char* library, const char* symbol, const void* replacement);

}  // namespace mapps
