#pragma once

// Hand-drawn stations for the topology check: a scheme page of numbered apparatus joined by
// wires, a position signal s1_1_N titled by the name of the apparatus with counter N, a
// permission signal s1_2_N with the same title, and one interlock table whose column N reads
// s1_1_N.

#include "base/cp1251.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ilktest {

class drawn_station {
public:
    // An apparatus: counter, scheme type, dispatcher name ("" for none).
    void object(int counter, const std::string& type, const std::string& name) {
        page_ += "<object counter=\"" + std::to_string(counter) + "\" type=\"" + type + "\" x=\"" +
                 std::to_string(20 + 10 * counter) + "\" y=\"50\" w=\"" +
                 (type == "шина" ? "100" : "6") + "\" h=\"" + (type == "шина" ? "1.4" : "12") +
                 "\"" + (name.empty() ? "" : " name=\"" + name + "\"") + "/>\n";
        if (!name.empty())
            names_[counter] = name;
    }
    // A wire between two ends: "3:1", "1:@20", "узел:1".
    void wire(const std::string& from, const std::string& to) {
        page_ +=
            "<polyline points=\"0,0 1,1\" wire=\"1\" from=\"" + from + "\" to=\"" + to + "\"/>\n";
    }
    void junction(int id) {
        page_ += "<node id=\"" + std::to_string(id) + "\" x=\"0\" y=\"0\"/>\n";
    }
    // A condition of the row of apparatus `counter`: (column counter, permits when on).
    using permissions = std::vector<std::pair<int, bool>>;
    void row(int counter, const std::vector<permissions>& conditions) {
        rows_ += "<ref tp=\"76\" tu=\"" + std::to_string(counter) + "\" ts=\"s1_2_" +
                 std::to_string(counter) + "\">\r\n";
        for (const permissions& c : conditions) {
            rows_ += "<ref tp=\"74\" control=\"1\">\r\n";
            for (auto [column, on] : c)
                rows_ += "<ref tp=\"73\" uid=\"" + std::to_string(column) + "\" on=\"" +
                         (on ? "1" : "0") + "\"" + (locked.count(column) ? " lock=\"1\"" : "") +
                         "/>\r\n";
            rows_ += "</ref>\r\n";
        }
        rows_ += "</ref>\r\n";
    }

    // Permissions on these columns written from now on are deactivated.
    std::set<int> locked;

    // Writes refs.ini and SDE/Т.sde into `dir` (with a trailing '/').
    void write(const std::string& dir) const {
        std::string signals;
        std::string columns;
        for (const auto& [n, name] : names_) {
            signals +=
                "<ref tp=\"1\" num=\"" + std::to_string(n) + "\" title=\"" + name + "\"/>\r\n";
            columns += "<ref tp=\"75\" nof=\"s1_1_" + std::to_string(n) + "\" non=\"\" uid=\"" +
                       std::to_string(n) + "\"/>\r\n";
        }
        std::string text =
            "<struct>\r\n<REFs version=\"1\">\r\n<ref tp=\"50\"/>\r\n<ref tp=\"40\">\r\n"
            "<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"1\">\r\n" +
            signals + "</ref>\r\n<ref tp=\"42\" num=\"2\">\r\n" + signals +
            "</ref>\r\n</ref>\r\n</ref>\r\n<ref tp=\"80\">\r\n"
            "<ref tp=\"72\" title=\"Блокировка\">\r\n<ref tp=\"79\" name=\"Ячейка\">\r\n"
            "<ref tp=\"77\">\r\n" +
            columns + "</ref>\r\n<ref tp=\"78\">\r\n" + rows_ +
            "</ref>\r\n</ref>\r\n</ref>\r\n<ref tp=\"81\" name=\"Т\"/>\r\n</ref>\r\n</REFs>\r\n"
            "</struct>\r\n";
        write_bytes(dir + "refs.ini", nxkit::to_cp1251(text));
        std::filesystem::create_directories(dir + "SDE");
        write_bytes(dir + "SDE/Т.sde",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sde version=\"1\" units=\"mm\">\n"
                    "<page number=\"1\" title=\"Ячейка\" width=\"300\" height=\"100\">\n" +
                        page_ + "</page>\n</sde>\n");
    }

private:
    std::string page_;
    std::string rows_;
    std::map<int, std::string> names_;
};

// The bay most tests start from: busbar 1 — QS1 (2) — Q1 (3) — QS2 (4) — line 5, the line
// earthing switch QSG1 (6) on the line node and QSG2 (7) between Q1 and QS2.
inline void draw_bay(drawn_station& s) {
    s.object(1, "шина", "1СШ");
    s.object(2, "разъединитель", "QS1");
    s.object(3, "выключатель", "Q1");
    s.object(4, "разъединитель", "QS2");
    s.object(5, "присоединение", "Л-1");
    s.object(6, "заземляющий_нож", "QSG1");
    s.object(7, "заземляющий_нож", "QSG2");
    s.junction(1);
    s.wire("1:@10", "2:1");
    s.wire("2:2", "3:1");
    s.wire("3:2", "4:1");
    s.wire("7:1", "3:2");
    s.wire("4:2", "узел:1");
    s.wire("5:1", "узел:1");
    s.wire("6:1", "узел:1");
}

} // namespace ilktest
