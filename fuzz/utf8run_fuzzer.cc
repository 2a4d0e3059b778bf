// libFuzzer program for FuzzProgramRunUtf8 (see fuzz_targets.h).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zarn::fuzz::FuzzProgramRunUtf8(
      std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
