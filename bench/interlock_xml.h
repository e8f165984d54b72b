#pragma once

// Pieces of refs.ini text the scheme benchmarks write for their interlock tables.

#include <string>

namespace nxbench {

// Structure signal number i (0-based) when every section holds `per_section` signals.
inline std::string section_signal_key(int i, int per_section) {
    return "s1_" + std::to_string(i / per_section + 1) + "_" + std::to_string(i % per_section + 1);
}

inline std::string element_name(int e) {
    return "E" + std::to_string(e);
}

inline std::string column_xml(int uid, const std::string& no, const std::string& nc) {
    return "<ref tp=\"75\" uid=\"" + std::to_string(uid) + "\" nof=\"" + no + "\" non=\"" + nc +
           "\"/>\r\n";
}

inline std::string permission_xml(int uid, bool on) {
    return "<ref tp=\"73\" uid=\"" + std::to_string(uid) + "\" on=\"" + (on ? "1" : "0") +
           "\"/>\r\n";
}

} // namespace nxbench
