// The unpacker stubs built together with mksfx, embedded at build time: one for each Windows
// architecture. An array is empty when mksfx was built without that stub; --stub then names one.
#pragma once

#include <cstddef>

extern const unsigned char kEmbeddedStubX86[];
extern const size_t kEmbeddedStubX86Size;
extern const unsigned char kEmbeddedStubX64[];
extern const size_t kEmbeddedStubX64Size;
