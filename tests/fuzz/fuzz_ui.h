// What every fuzz target over the unpacker's core shares (fuzz_ui.cpp).
#pragma once

// Ends the run as a crash, which libFuzzer reports with its input, when a promise is broken.
void Check(bool promise);
