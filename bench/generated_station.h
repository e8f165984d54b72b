#pragma once

// The generated station the benchmarks share: 40 channels, 2,000 sections, 60,000 signals of
// which a fifth are computed from others, the rest folders under the scheme root; 100,000
// components in all.

#include <string>

namespace nxbench {

inline constexpr int channels = 40;
inline constexpr int sections_per_channel = 50;
inline constexpr int signals_per_section = 30;
// Signals 1..6 of every section are computed: a fifth of them.
inline constexpr int computed_per_section = 6;
inline constexpr int target_components = 100000;

inline std::string signal_key(int channel, int section, int signal) {
    return "s" + std::to_string(channel) + "_" + std::to_string(section) + "_" +
           std::to_string(signal);
}

// `wide_folder` children (a folder of that many) replace as many scheme folders.
inline std::string generate_station(int& components, int wide_folder = 0) {
    std::string text =
        "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\" title=\"Оборудование\"/>\r\n";
    text += "<ref tp=\"40\" title=\"Структура\">\r\n";
    components = 3;
    for (int c = 1; c <= channels; ++c) {
        text += "<ref tp=\"41\" num=\"" + std::to_string(c) + "\">\r\n";
        ++components;
        for (int k = 1; k <= sections_per_channel; ++k) {
            text += "<ref tp=\"42\" num=\"" + std::to_string(k) + "\">\r\n";
            ++components;
            for (int n = 1; n <= signals_per_section; ++n) {
                int type = n <= 20 ? 1 : 2;
                text +=
                    "<ref tp=\"" + std::to_string(type) + "\" num=\"" + std::to_string(n) + "\"";
                if (n <= computed_per_section) {
                    // Sources in this section and in the next channel's same section.
                    int other = c % channels + 1;
                    std::string e = "(" + signal_key(c, k, n + 6) + " or " +
                                    signal_key(c, k, n + 12) + ") and !" +
                                    signal_key(other, k, n + 14);
                    text += "><expr>" + e + "</expr></ref>\r\n";
                } else {
                    text += "/>\r\n";
                }
                ++components;
            }
            text += "</ref>\r\n";
        }
        text += "</ref>\r\n";
    }
    text += "</ref>\r\n<ref tp=\"80\" title=\"Схемы\">\r\n";
    if (wide_folder > 0) {
        text += "<ref tp=\"99\" title=\"wide\">\r\n";
        ++components;
        for (int i = 0; i < wide_folder; ++i, ++components)
            text += "<ref tp=\"99\" title=\"f" + std::to_string(i) + "\"/>\r\n";
        text += "</ref>\r\n";
    }
    // Scheme folders make up the rest.
    while (components < target_components) {
        text += "<ref tp=\"99\" title=\"группа\">\r\n";
        ++components;
        for (int i = 0; i < 99 && components < target_components; ++i, ++components)
            text += "<ref tp=\"99\" title=\"папка\"/>\r\n";
        text += "</ref>\r\n";
    }
    text += "</ref>\r\n</REFs>\r\n</struct>\r\n";
    return text;
}

} // namespace nxbench
