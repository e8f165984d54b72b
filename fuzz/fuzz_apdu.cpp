#include "fuzz/fuzz_apdu_body.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!ilkfuzz::run_apdu(data, size).frames_sane)
        std::abort();
    return 0;
}
