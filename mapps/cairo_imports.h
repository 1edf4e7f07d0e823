#pragma once
// Calls that libcairo makes to other libraries, sent elsewhere (the C
// library's tmpfile(), libpng's settings of a picture it writes), where cairo
// 1.16 offers no setting of its own for what the binding needs.

namespace mapps {

// Points libcairo's import of `symbol` (an unversioned name) to
// `replacement`, a function of the same type. Returns whether any slot was
// found: false on a platform this does not know, or without libcairo in the
// process. libcairo is linked with immediate binding, so its slots already
// hold the imported functions and no lazy binding writes them again.
bool redirect_cairo_import(const char* symbol, void* replacement);

}  // namespace mapps
