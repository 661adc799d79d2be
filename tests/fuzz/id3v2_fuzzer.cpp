// libFuzzer entry point; scripts/fuzz builds and runs it.

#include <cstddef>
#include <cstdint>

#include "fuzzbody.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SilenceEngineMessages();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::RunInput(data, size);
  return 0;
}
