#pragma once

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "config/config_classes.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "interlock/controller_transfer.h"
#include "structure/structure_classes.h"
#include "telemech/telemech_classes.h"
#include "tests/interlock/controller_sim_process.h"
#include "tests/support/test_support.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ilktest {

// A store with one IEC 104 device ("127.0.0.1:2404") feeding the signal keys s1_2_7
// (single point) and s1_2_9 (double point), a program log in the station folder, and folders
// for the controller's and the workstation's files.
class controller_transfer_test : public testing::Test {
protected:
    controller_transfer_test() {
        store = std::make_unique<nxkit::t_ref_buff>();
        nxkit::register_config_classes(*store);
        nxkit::register_structure_classes(*store);
        nxkit::register_telemech_classes(*store);
        store->register_class(nxkit::tp_schema_root, [](nxkit::t_ref_buff& s) {
            return std::make_unique<nxkit::t_ref_root>(s, nxkit::tp_schema_root);
        });
        write_bytes(station_dir() + "refs.ini",
                    nxkit::to_cp1251(
                        "<struct>\r\n<REFs version=\"1\">\r\n"
                        "<ref tp=\"50\" title=\"Оборудование\">\r\n"
                        "<ref tp=\"104\" addr=\"5\" con=\"127.0.0.1:2404\">\r\n"
                        "<ref tp=\"51\" addr=\"10\" canal=\"1\" kp=\"2\" num=\"7\"/>\r\n"
                        "<ref tp=\"52\" addr=\"11\" canal=\"1\" kp=\"2\" num=\"9\"/>\r\n"
                        "</ref>\r\n</ref>\r\n"
                        "<ref tp=\"40\" title=\"Структура\">\r\n<ref tp=\"41\" num=\"1\">\r\n"
                        "<ref tp=\"42\" num=\"2\">\r\n<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
                        "<ref tp=\"1\" num=\"9\" title=\"Q2\"/>\r\n"
                        "</ref>\r\n</ref>\r\n</ref>\r\n</REFs>\r\n</struct>\r\n"));
        store->load();
        // The log starts after the load, so it holds the transfer's lines only.
        log_path = station_dir() + "transfer_test.log";
        nxkit::nx_log::main().close();
        std::remove(log_path.c_str());
        nxkit::nx_log::main().open(log_path, 10000000, 0);
    }

    std::string log_text() { return nxkit::from_cp1251(read_bytes(log_path)); }

    ~controller_transfer_test() override {
        store.reset();
        nxkit::nx_log::main().close();
    }

    // The texts of the program log's lines of one kind ("MES", "ERR"), each up to its first
    // line break.
    std::vector<std::string> log_lines(const std::string& kind) {
        std::vector<std::string> out;
        std::string text = log_text();
        std::string mark = " | " + kind + " | ";
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            if (auto at = line.find(mark); at != std::string::npos)
                out.push_back(line.substr(at + mark.size()));
            start = end + 2;
        }
        return out;
    }

    // Options for a simulator on `port`, with short time-outs and a fixed clock.
    static nxkit::transfer_options quick(int port) {
        nxkit::transfer_options options;
        options.port = port;
        options.receive_timeout_ms = 400;
        options.read_answer_timeout_ms = 400;
        options.clock = [] { return nxkit::time_encode(2024, 3, 5, 14, 7, 9, 0); };
        return options;
    }

    std::vector<nxkit::column_contacts> columns{{"", ""}, {"s1_2_7", ""}};
    temp_dir controller;
    temp_dir local;
    std::string log_path;
    std::unique_ptr<nxkit::t_ref_buff> store;
};

// The text of a failure the call raises; "" when it succeeds.
template <class F> std::string failure_of(F call) {
    try {
        call();
    } catch (const nxkit::nx_exception& e) {
        return e.what();
    }
    return {};
}

} // namespace ilktest
