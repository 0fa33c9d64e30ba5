// Raw Deflate64 streams as archive entries hold them, decoded three ways that must agree.
#define OVE_FUZZ_DEFLATE64
#include "fuzz_inflate.cpp"
