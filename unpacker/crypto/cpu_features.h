// Which of the processor's special instructions the primitives may use: AES and SHA for the
// ciphers, carry-less multiplication for the CRC-32. CPUID is asked once; the answer is kept
// for the rest of the run. Other processors than x86 and x64 always get the portable code.
#pragma once

bool CpuHasAesInstructions();    // AESENC and AESENCLAST (with SSE2)
bool CpuHasShaInstructions();    // SHA1RNDS4, SHA1NEXTE, SHA1MSG1/2 (with SSE4.1 for PSHUFB)
bool CpuHasCarrylessMultiply();  // PCLMULQDQ (with SSE2)

// With true, every answer is false until the next call with false: tests and benchmarks run
// the portable code on machines that have the instructions.
void UsePortableCodeForTesting(bool portable);
