// Which of the processor's AES and SHA instructions the crypto primitives may use. CPUID is
// asked once; the answer is kept for the rest of the run. Other processors than x86 and x64
// always get the portable rounds.
#pragma once

bool CpuHasAesInstructions();  // AESENC and AESENCLAST (with SSE2)
bool CpuHasShaInstructions();  // SHA1RNDS4, SHA1NEXTE, SHA1MSG1/2 (with SSE4.1 for PSHUFB)

// With true, both answers are false until the next call with false: the tests check the
// portable rounds against an oracle on machines that have the instructions.
void UseScalarCryptoForTesting(bool scalar);
