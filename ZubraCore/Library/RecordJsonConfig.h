#pragma once
// How RapidJSON is built here, apart from anything else so that the choice can be checked alone.
//
// RapidJSON scans white space and unescaped runs with SSE2, which every x86-64 processor has.
// Its aligned 16-byte loads may read past the end of the text within the same block (never
// across a page), which AddressSanitizer reports, so sanitizer builds use the plain scan. GCC
// announces AddressSanitizer with __SANITIZE_ADDRESS__, Clang through __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSELLON_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TESSELLON_ADDRESS_SANITIZER 1
#endif

#if defined(__SSE2__) && !defined(TESSELLON_ADDRESS_SANITIZER) && !defined(RAPIDJSON_SSE2)
#define RAPIDJSON_SSE2
#endif
