// The libFuzzer entry point of one harness, chosen when the target is built.
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return CALDRIS_FUZZ_ENTRY(data, size); }
