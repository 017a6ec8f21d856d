// QUANDELSTK_API marks what the shared library exports. The library is built with every symbol
// hidden, so that its internals can change without breaking programs linked against
// libquandelstk.so.6; each public header includes this one and puts QUANDELSTK_API on every class
// and free function it declares:
//
//   class QUANDELSTK_API Modem { ... };
//   QUANDELSTK_API Platform& CurrentPlatform();
//
// A class whose members are all inline needs it too when hosts catch it or derive from it
// (RuntimeError, Platform): its type information must be the library's own.
//
// QUANDELSTK_BUILDING is defined while the library itself is compiled; QUANDELSTK_STATIC by the
// static library's CMake target for programs that link it (only Windows tells the two apart).
#pragma once

#if defined(QUANDELSTK_STATIC)
#define QUANDELSTK_API
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(QUANDELSTK_BUILDING)
#define QUANDELSTK_API __declspec(dllexport)
#else
#define QUANDELSTK_API __declspec(dllimport)
#endif
#else
#define QUANDELSTK_API __attribute__((visibility("default")))
#endif
