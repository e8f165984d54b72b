#pragma once

// Arbitrary bytes through the IEC 104 receive path, shared by the libFuzzer target and the
// corpus replay test.

#include "base/nx_exception.h"
#include "base/nx_time.h"
#include "telemech/nx_mAPDU_act.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ilkfuzz {

// Keeps every object it is given, as a device would.
class storing_sink : public nxkit::nx_tm_info {
public:
    struct object {
        char kind = 0; // 's' single, 'd' double, 'm' measured, 't' step
        std::uint16_t ioa = 0;
        double value = 0;
        std::uint8_t quality = 0;
        nxkit::nx_tm_time time;
    };

    void get_schedule(int& interrogation, int& sync) override {
        interrogation = -1;
        sync = 60;
    }
    void link_up() override { ++link_ups; }
    void notify() override { ++notifies; }
    void put_step(std::uint16_t ioa, const nxkit::nx_tm_time& time, std::uint8_t vti,
                  std::uint8_t qds) override {
        objects.push_back({'t', ioa, static_cast<double>(vti), qds, time});
    }
    void put_measured(std::uint16_t ioa, const nxkit::nx_tm_time& time, double value,
                      std::uint8_t qds) override {
        objects.push_back({'m', ioa, value, qds, time});
    }
    void put_double(std::uint16_t ioa, const nxkit::nx_tm_time& time, std::uint8_t diq) override {
        objects.push_back({'d', ioa, static_cast<double>(diq), 0, time});
    }
    void put_single(std::uint16_t ioa, const nxkit::nx_tm_time& time, std::uint8_t siq) override {
        objects.push_back({'s', ioa, static_cast<double>(siq), 0, time});
    }

    std::vector<object> objects;
    int link_ups = 0;
    int notifies = 0;
};

struct apdu_run {
    std::size_t objects = 0;
    std::size_t frames_sent = 0;
    std::size_t rejected = 0;
    bool closed = false;
    // Every frame built was a well-formed APDU.
    bool frames_sane = true;
};

inline bool frame_sane(std::span<const std::uint8_t> frame) {
    return frame.size() >= 6 && frame.size() <= 255 && frame[0] == 0x68 &&
           frame[1] == frame.size() - 2;
}

// The first octet picks the size of each read (1 to 31 octets; 0: everything at once) and the
// steps of the clock, so the same frames arrive cut in different places and at different times.
inline apdu_run run_apdu(const std::uint8_t* data, std::size_t size) {
    apdu_run run;
    if (size == 0)
        return run;
    const std::size_t piece = data[0] & 0x1F;
    const nxkit::tm_ms step = 1 + (data[0] >> 5) * 700;
    ++data;
    --size;

    storing_sink sink;
    nxkit::tm_ms now = 0;
    nxkit::nx_mAPDU_act apdu(5, sink, 3000, 0, 3000, now);
    apdu.set_local_clock([] { return nxkit::time_encode(2024, 3, 1, 0, 5, 0, 0); });
    // Every category on but no file: the texts are assembled, nothing is written.
    apdu.log().open("", nxkit::tm_all, 0);

    auto pass = [&] {
        std::span<const std::uint8_t> frame = apdu.next_frame(now);
        if (!frame.empty()) {
            ++run.frames_sent;
            run.frames_sane = run.frames_sane && frame_sane(frame);
        }
    };

    std::size_t done = 0;
    while (done < size && !run.closed) {
        pass();
        const std::size_t count = piece == 0 ? size - done : std::min(piece, size - done);
        run.closed = !apdu.feed({data + done, count}, now);
        done += count;
        run.rejected += apdu.take_rejected().size();
        now += step;
    }
    for (int i = 0; i < 8 && !run.closed; ++i) {
        now += apdu.wait_ms(now);
        pass();
    }
    run.objects = sink.objects.size();
    return run;
}

} // namespace ilkfuzz
