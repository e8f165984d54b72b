#pragma once

// Pieces of refs.ini text the scheme benchmarks write for their interlock tables.

#include <functional>
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

// The opening of refs.ini up to the scheme root: channel 1 with `sections` sections of
// `per_section` telesignals, each titled by `title` (untitled when it gives "").
inline std::string structure_xml(int sections, int per_section,
                                 const std::function<std::string(int)>& title) {
    std::string text = "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"40\">\r\n"
                       "<ref tp=\"41\" num=\"1\">\r\n";
    for (int k = 0; k < sections; ++k) {
        text += "<ref tp=\"42\" num=\"" + std::to_string(k + 1) + "\">\r\n";
        for (int n = 0; n < per_section; ++n) {
            std::string t = title(k * per_section + n);
            text += "<ref tp=\"1\" num=\"" + std::to_string(n + 1) + "\"" +
                    (t.empty() ? "" : " title=\"" + t + "\"") + "/>\r\n";
        }
        text += "</ref>\r\n";
    }
    return text + "</ref>\r\n</ref>\r\n";
}

} // namespace nxbench
