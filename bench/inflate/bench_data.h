// What both decoder benchmarks decode and how they time it: real files of this machine, random
// and repetitive bytes, deflated with zlib; the median of several timed runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Regular files of 4 KiB to 4 MiB under /usr/share, then /usr/lib (not already compressed), in
// the order of a hash of their paths (a fixed pseudo-random pick across all folders), until
// about `megabytes` are taken from each. `drive` goes in front of the paths ("Z:" for the root
// of the Linux file system under Wine); the hash is of the path without it, so both benchmarks
// pick the same files. `files` receives the count.
std::vector<uint8_t> MixedData(const char* drive, uint64_t megabytes, size_t* files);

// Pseudo-random bytes, which deflate stores.
std::vector<uint8_t> RandomBytes(size_t size);

// Log lines: a few hundred distinct lines with counters, the kind of file that compresses
// 50 to 1 and decodes mostly as long matches.
std::vector<uint8_t> RepetitiveBytes(size_t size);

// zlib's raw deflate at `level` (window 32 KiB, memory level 9).
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& data, int level);

double Seconds(const std::function<void()>& run);
double Median(std::vector<double> v);
