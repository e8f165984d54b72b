// Soak of the live-edit differential check: random edit sequences on the generated station,
// seed after seed, for as long as it is told. Prints every difference found (shrunk to a short
// reproduction) and, at the end, one line per figure.
//
//   live_edits_soak [--seconds N] [--steps S] [--first-seed K]

#include "tests/schemes/live_diff.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    double seconds = 60;
    int steps = 40;
    std::uint32_t seed = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--steps") == 0)
            steps = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--first-seed") == 0)
            seed = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--steps S] [--first-seed K]\n", argv[0]);
            return 2;
        }
    }
    std::string home =
        (std::filesystem::temp_directory_path() / ("live_edits." + std::to_string(getpid())))
            .string() +
        "/";
    std::filesystem::create_directories(home);
    setenv("ILKSTATION_HOME", home.c_str(), 1);

    const std::string station = livediff::generated_station();
    auto start = std::chrono::steady_clock::now();
    int seeds = 0;
    int found = 0;
    while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
           seconds) {
        if (auto f = livediff::run_seed(station, seed, steps)) {
            ++found;
            std::printf("РАЗЛИЧИЕ %s\n", f->text().c_str());
            std::fflush(stdout);
        }
        ++seeds;
        ++seed;
    }
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seeds run: %d\n", seeds);
    std::printf("steps per seed: %d\n", steps);
    std::printf("seconds: %.1f\n", elapsed);
    std::printf("differences found: %d\n", found);
    std::filesystem::remove_all(home);
    return found == 0 ? 0 : 1;
}
