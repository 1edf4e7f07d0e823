// Leaks inside the drawing libraries under giza, not in this program, for
// the tests that draw through giza when built with LeakSanitizer:
// fontconfig's configuration and font caches live until the program ends, and
// cairo 1.16 loses about 1.7 KB each time a PostScript surface is finished.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libcairo.so\n";
}
