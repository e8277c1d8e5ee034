// The unpacker stub built together with mksfx, embedded at build time. Empty when mksfx was
// built without it; --stub then names one.
#pragma once

#include <cstddef>

extern const unsigned char kEmbeddedStub[];
extern const size_t kEmbeddedStubSize;
