// Two tiny libraries: one built where no loader looks, and one that needs it,
// so that loading the second fails for a reason only the system knows.
#ifdef _WIN32
#define EXPORT __declspec(dllexport)
#else
#define EXPORT __attribute__((visibility("default")))
#endif

#ifdef MISSING_DEPENDENCY
extern "C" EXPORT int tagkana_missing_dependency() {
  return 1;
}
#else
extern "C" int tagkana_missing_dependency();
extern "C" EXPORT int vbmp3_init() {
  return tagkana_missing_dependency();
}
#endif
