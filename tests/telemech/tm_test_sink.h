#pragma once

#include "base/nx_time.h"
#include "telemech/nx_tm_info.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ilktest {

// Records every sink call in order ("up", "notify", "single 10 81", ...) and the time record
// of every stored object.
class recording_sink : public nxkit::nx_tm_info {
public:
    int interrogation = -1;
    int sync = -2;
    bool give_schedule = false;
    std::vector<std::string> calls;
    std::vector<nxkit::nx_tm_time> times;

    void get_schedule(int& i, int& s) override {
        if (give_schedule) {
            i = interrogation;
            s = sync;
        }
    }
    void link_down() override { calls.push_back("down"); }
    void link_up() override { calls.push_back("up"); }
    void notify() override { calls.push_back("notify"); }
    void put_step(std::uint16_t ioa, const nxkit::nx_tm_time& t, std::uint8_t vti,
                  std::uint8_t qds) override {
        add("step", ioa, t,
            std::to_string(nxkit::vti_value(vti)) + " " + hex(vti) + " " + hex(qds));
    }
    void put_measured(std::uint16_t ioa, const nxkit::nx_tm_time& t, double value,
                      std::uint8_t qds) override {
        char text[32];
        std::snprintf(text, sizeof text, "%.10g", value);
        add("measured", ioa, t, std::string(text) + " " + hex(qds));
    }
    void put_double(std::uint16_t ioa, const nxkit::nx_tm_time& t, std::uint8_t diq) override {
        add("double", ioa, t, hex(diq));
    }
    void put_single(std::uint16_t ioa, const nxkit::nx_tm_time& t, std::uint8_t siq) override {
        add("single", ioa, t, hex(siq));
    }

    static std::string hex(std::uint8_t v) {
        static const char digits[] = "0123456789ABCDEF";
        return {digits[v >> 4], digits[v & 0x0F]};
    }

private:
    void add(const char* kind, std::uint16_t ioa, const nxkit::nx_tm_time& t,
             const std::string& rest) {
        calls.push_back(std::string(kind) + " " + std::to_string(ioa) + " " + rest);
        times.push_back(t);
    }
};

// The fixed local time of the tests: 2024-03-05 10:20:30.456.
inline nxkit::nx_time test_local_time() {
    return nxkit::time_encode(2024, 3, 5, 10, 20, 30, 456);
}

} // namespace ilktest
