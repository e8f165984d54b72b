#pragma once

#include "base/nx_log.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nxkit {

// Category bits of a protocol log: three pairs, the low bit of a pair is the dump, the high bit
// the text. IEC 104 uses them for S-, U- and I-frames; IEC 101 for user data, link control and
// class requests.
enum : int {
    tm_s_dump = 0x1,
    tm_s_text = 0x2,
    tm_u_dump = 0x4,
    tm_u_text = 0x8,
    tm_i_dump = 0x10,
    tm_i_text = 0x20,
    tm_all = ~0,
};

enum class tm_direction { received, sent };

// "-->" for received frames, "<••" for sent ones.
const char* tm_direction_mark(tm_direction direction);

// The protocol log of one controlled point: an nx_log plus the category mask and the text line
// being assembled. Fault lines (err) are written whatever the mode; frames only by category.
class nx_tm_log : public nx_log {
public:
    // Stores the mode; an empty name leaves the file closed (texts are still assembled).
    bool open(const std::string& file_name, int mode, int size);
    int mode() const { return mode_; }

    // Makes `category` current and answers whether the mode has any of its bits.
    bool enabled(int category);
    // Whether a line was begun and the current category is on: decoders ask before appending.
    bool line_open() const;

    void begin_line(tm_direction direction);
    void append(std::string_view text);
    void end_line();
    // The mark followed by " %02X" per octet, as one MES line.
    void dump(tm_direction direction, const std::uint8_t* data, std::size_t size);

    // The line assembled so far (for the layers that add to it after the decoder).
    const std::string& line() const { return line_; }

private:
    int mode_ = 0;
    int current_ = 0;
    bool open_line_ = false;
    std::string line_;
};

} // namespace nxkit
