// The reference versions under the name bench/fetcher/fetcher_bench.cpp includes; goes once the
// benchmark includes reference_algorithms.h and calls reference::ListMusicTitles.
#pragma once

#include "tests/native/fetcher/reference_algorithms.h"

namespace literal = reference;
