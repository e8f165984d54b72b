// Arbitrary bytes through the .sde reader: it either reads them or fails with a message, and
// whatever it reads comes back unchanged from a second round through the writer.

#include "base/nx_exception.h"
#include "schemes/control/sde_document.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const std::string once = nxkit::write_sde(nxkit::read_sde(text, "fuzz"));
        if (nxkit::write_sde(nxkit::read_sde(once, "fuzz")) != once)
            std::abort();
    } catch (const nxkit::nx_exception&) {
    }
    return 0;
}
