#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace nxkit {

// printf-style formatting that never throws. The result holds at most size - 1 characters;
// a text that does not fit (or a formatter error) gives "", a fault while formatting gives
// "!!! FORMAT ERROR !!!".

// Formats into a caller-supplied buffer of `size` characters.
std::string format_into(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
std::string vformat_into(char* buffer, std::size_t size, const char* format, std::va_list args)
    __attribute__((format(printf, 3, 0)));

// Formats into a temporary buffer of `size` characters.
std::string format_sized(std::size_t size, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
std::string vformat_sized(std::size_t size, const char* format, std::va_list args)
    __attribute__((format(printf, 2, 0)));

// Formats into a temporary buffer of 255 characters (at most 254 written).
std::string format_short(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr std::size_t format_short_size = 255;
inline constexpr std::size_t scratch_buffer_size = 10000;

// The process-wide scratch buffer of scratch_buffer_size characters, the usual target of
// format_into. It belongs to the user-interface thread; workers use buffers of their own.
char* scratch_buffer();

} // namespace nxkit
