#include "fuzz/fuzz_link101_body.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

// The seed corpus lies in the source tree: <root>/fuzz/corpus/link101, found from this file.
std::filesystem::path corpus_dir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" /
           "corpus" / "link101";
}

struct outcome {
    std::size_t objects;
    std::size_t rejected;
};

} // namespace

TEST(FuzzCorpusLink101, EverySeedReplaysWithItsOutcome) {
    // What each seed is meant to exercise; a seed added without an entry fails here.
    const std::map<std::string, outcome> expected = {
        {"valid_startup", {3, 0}},       {"valid_acd_chain", {5, 0}},
        {"valid_joined", {0, 0}},        {"valid_slow_line", {3, 0}},
        {"invalid_noise", {3, 0}},       {"invalid_crc", {0, 0}},
        {"invalid_length", {3, 0}},      {"invalid_foreign_address", {0, 0}},
        {"invalid_count", {3, 1}},       {"invalid_huge_length", {0, 0}},
        {"valid_long_frames", {164, 0}},
    };
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus_dir())) {
        const std::string name = entry.path().filename().string();
        const std::string data = ilktest::read_bytes(entry.path().string());
        const ilkfuzz::link101_run run =
            ilkfuzz::run_link101(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        EXPECT_TRUE(run.frames_sane) << name;
        auto it = expected.find(name);
        if (it == expected.end()) {
            ADD_FAILURE() << "seed without an expected outcome: " << name;
            continue;
        }
        ++seen;
        EXPECT_EQ(run.objects, it->second.objects) << name;
        EXPECT_EQ(run.rejected, it->second.rejected) << name;
        EXPECT_GE(run.frames_sent, 1u) << name;
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(FuzzCorpusLink101, EmptyTinyAndEndlessNoise) {
    EXPECT_EQ(ilkfuzz::run_link101(nullptr, 0).frames_sent, 0u);
    const std::uint8_t one[] = {0x01, 0x68};
    EXPECT_TRUE(ilkfuzz::run_link101(one, sizeof one).frames_sane);
    // A line that delivers nothing but noise one octet at a time: every octet resets the link,
    // and only status requests go out.
    std::string noise(1000, '\x55');
    noise[0] = 1;
    const ilkfuzz::link101_run run =
        ilkfuzz::run_link101(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size());
    EXPECT_TRUE(run.frames_sane);
    EXPECT_EQ(run.frames_sent, 999u);
    EXPECT_EQ(run.exchanges, 999u);
    EXPECT_EQ(run.objects, 0u);
}
