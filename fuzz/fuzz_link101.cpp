#include "fuzz/fuzz_link101_body.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ilkfuzz::run_link101(data, size).frames_sane)
        std::abort();
    return 0;
}
