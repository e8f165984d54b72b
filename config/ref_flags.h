#pragma once

#include <cstdint>

namespace nxkit {

// Bits of a component's flag word. The configuration model owns the structural ones; the
// signal bits are defined here too because the update machinery combines them.
enum ref_flag : std::uint32_t {
    // Signal quality and mode.
    flag_defined = 0x1,
    flag_control = 0x2,
    flag_locked_in_tree = 0x40,
    flag_linked = 0x80,
    flag_evaluated = 0x100, // per-pass cache bit, cleared by every update round
    flag_normally_closed = 0x2000,
    flag_manual = 0x4000,
    flag_manual_pending = 0x8000,
    flag_unacknowledged = 0x10000,
    flag_initial = 0x20000,
    flag_change_pending = 0x40000,
    flag_invalid = 0x80000,
    flag_forced = 0x100000,
    flag_uses_self = 0x200000,
    flag_has_expression = 0x400000,

    // Structure and editing.
    flag_locked = 0x4,
    flag_read_only = 0x8,
    flag_no_delete = 0x10,
    flag_no_add = 0x20,
    flag_tree_mark = 0x400,
    flag_init_root = 0x1000,
    flag_modified = 0x800000,
    flag_active_fixed = 0x1000000,
    flag_transient = 0x2000000,
};

} // namespace nxkit
