#pragma once

// Arbitrary bytes through the IEC 101 link layer's receive path, shared by the libFuzzer target
// and the corpus replay test.

#include "base/nx_exception.h"
#include "base/nx_time.h"
#include "fuzz/fuzz_apdu_body.h"
#include "telemech/nx_mCANAL101.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace ilkfuzz {

struct link101_run {
    std::size_t objects = 0;
    std::size_t frames_sent = 0;
    std::size_t exchanges = 0;
    std::size_t rejected = 0;
    // Every frame built was a well-formed FT1.2 frame for address 5.
    bool frames_sane = true;
};

inline bool link101_frame_sane(std::span<const std::uint8_t> f) {
    auto sum = [&](std::size_t first, std::size_t count) {
        unsigned s = 0;
        for (std::size_t i = first; i < first + count; ++i)
            s += f[i];
        return static_cast<std::uint8_t>(s & 0xFF);
    };
    if (f.size() == 5)
        return f[0] == 0x10 && f[2] == 5 && (f[1] & 0x40) != 0 && f[3] == sum(1, 2) && f[4] == 0x16;
    return f.size() >= 8 && f[0] == 0x68 && f[1] == f[2] && f[3] == 0x68 && f.size() == f[1] + 6u &&
           f[5] == 5 && f[f.size() - 2] == sum(4, f[1]) && f.back() == 0x16;
}

// The first octet picks the size of each read (1 to 31 octets; 0: everything at once) and the
// steps of the clock, so the same answers arrive cut in different places, on time or late.
// Before every read the link is asked for its next frame, as the worker does.
inline link101_run run_link101(const std::uint8_t* data, std::size_t size) {
    link101_run run;
    if (size == 0)
        return run;
    const std::size_t piece = data[0] & 0x1F;
    const nxkit::tm_ms step = 1 + (data[0] >> 5) * 100;
    ++data;
    --size;

    storing_sink sink;
    nxkit::tm_ms now = 0;
    nxkit::nx_mCANAL101 link(5, sink, 9600, now);
    link.set_local_clock([] { return nxkit::time_encode(2024, 3, 1, 0, 5, 0, 0); });
    // Every category on but no file: the texts are assembled, nothing is written.
    link.log().open("", nxkit::tm_all, 0);

    bool over = true;
    std::size_t done = 0;
    while (done < size) {
        if (over) {
            std::span<const std::uint8_t> frame = link.next_frame(now);
            if (!frame.empty()) {
                ++run.frames_sent;
                run.frames_sane = run.frames_sane && link101_frame_sane(frame);
            }
        }
        std::span<std::uint8_t> space = link.receive_space();
        const std::size_t count =
            std::min({piece == 0 ? size - done : piece, size - done, space.size()});
        std::copy(data + done, data + done + count, space.begin());
        done += count;
        try {
            over = link.parse(count, now);
        } catch (const nxkit::nx_exception&) {
            ++run.rejected;
            over = true;
        }
        if (over)
            ++run.exchanges;
        now += step;
    }
    // Whatever is left ends by the response time-out.
    for (int i = 0; i < 3; ++i) {
        now += link.wait_ms(now);
        if (link.parse(0, now)) {
            std::span<const std::uint8_t> frame = link.next_frame(now);
            run.frames_sane = run.frames_sane && (frame.empty() || link101_frame_sane(frame));
        }
    }
    run.objects = sink.objects.size();
    return run;
}

} // namespace ilkfuzz
