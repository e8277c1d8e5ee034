#include "unpacker/crypto/cpu_features.h"

#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

constexpr uint8_t kProbed = 1, kAes = 2, kSha = 4, kClmul = 8;

// Zero until the first question; then kProbed and the instructions found.
uint8_t Features;
bool ScalarOnly;

uint8_t ProbedFeatures() {
  if (Features) return Features;
  uint8_t found = kProbed;
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax, ebx, ecx, edx;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
    const bool sse2 = edx & (1u << 26), sse41 = ecx & (1u << 19);
    if (sse2 && (ecx & (1u << 25))) found |= kAes;
    if (sse2 && (ecx & (1u << 1))) found |= kClmul;
    unsigned ebx7 = 0;
    if (sse41 && __get_cpuid_count(7, 0, &eax, &ebx7, &ecx, &edx) && (ebx7 & (1u << 29)))
      found |= kSha;
  }
#endif
  Features = found;
  return found;
}

}  // namespace

bool CpuHasAesInstructions() {
  return !ScalarOnly && (ProbedFeatures() & kAes);
}
bool CpuHasShaInstructions() {
  return !ScalarOnly && (ProbedFeatures() & kSha);
}
bool CpuHasCarrylessMultiply() {
  return !ScalarOnly && (ProbedFeatures() & kClmul);
}
void UsePortableCodeForTesting(bool portable) {
  ScalarOnly = portable;
}
