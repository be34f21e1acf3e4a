// QUANTORA_INLINE: forces inlining of the small coder members used in the decoding loops, so that
// coder state stays in registers.
#pragma once

#define QUANTORA_INLINE inline __attribute__((always_inline))
