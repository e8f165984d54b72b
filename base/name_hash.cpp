#include "base/name_hash.h"

#include "base/cp1251.h"

#include <array>

namespace nxkit {

namespace {

const std::array<std::uint32_t, 256>& crc_table() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

} // namespace

std::uint32_t name_hash(std::string_view utf8) {
    const auto& table = crc_table();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : to_cp1251(utf8))
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc;
}

} // namespace nxkit
