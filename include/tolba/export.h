#pragma once
// Marks what the SDK's shared library exports. Everything else in the library is
// hidden; a static build ignores the mark.

#if defined(__GNUC__) || defined(__clang__)
#define TOLBA_API __attribute__((visibility("default")))
#else
#define TOLBA_API
#endif
