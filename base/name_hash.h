#pragma once

#include <cstdint>
#include <string_view>

namespace nxkit {

// The CRC-32 register (reflected polynomial 0xEDB88320, initial 0xFFFFFFFF) over the
// Windows-1251 bytes of a UTF-8 text, without the final inversion: page identifiers and
// settings keys match the ones a Windows installation produced.
std::uint32_t name_hash(std::string_view utf8);

} // namespace nxkit
