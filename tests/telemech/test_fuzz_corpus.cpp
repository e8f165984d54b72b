#include "fuzz/fuzz_apdu_body.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace {

// The seed corpus lies in the source tree: <root>/fuzz/corpus/apdu, found from this file.
std::filesystem::path corpus_dir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" /
           "corpus" / "apdu";
}

struct outcome {
    std::size_t objects;
    std::size_t rejected;
    bool closed;
};

} // namespace

TEST(FuzzCorpus, EverySeedReplaysWithItsOutcome) {
    // What each seed is meant to exercise; a seed added without an entry fails here.
    const std::map<std::string, outcome> expected = {
        {"valid_sp_sq", {3, 0, false}},         {"valid_joined", {6, 0, false}},
        {"valid_split", {9, 0, false}},         {"valid_cp56", {3, 0, false}},
        {"valid_cp24", {4, 0, false}},          {"valid_step", {4, 0, false}},
        {"valid_large", {324, 0, false}},       {"valid_link_control", {2, 0, false}},
        {"invalid_start_byte", {0, 0, true}},   {"invalid_length", {0, 0, true}},
        {"invalid_short_length", {0, 0, true}}, {"invalid_sequence", {3, 0, false}},
        {"invalid_count", {5, 2, false}},       {"invalid_stopdt_con", {0, 0, true}},
        {"valid_list_forms", {8, 0, false}},    {"valid_new_types", {12, 0, false}},
        {"valid_test_bit", {1, 0, false}},      {"valid_invalid_times", {3, 0, false}},
    };
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus_dir())) {
        const std::string name = entry.path().filename().string();
        const std::string data = ilktest::read_bytes(entry.path().string());
        const ilkfuzz::apdu_run run =
            ilkfuzz::run_apdu(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        EXPECT_TRUE(run.frames_sane) << name;
        auto it = expected.find(name);
        if (it == expected.end()) {
            ADD_FAILURE() << "seed without an expected outcome: " << name;
            continue;
        }
        ++seen;
        EXPECT_EQ(run.objects, it->second.objects) << name;
        EXPECT_EQ(run.rejected, it->second.rejected) << name;
        EXPECT_EQ(run.closed, it->second.closed) << name;
        // Every connection sends at least its STARTDT act.
        EXPECT_GE(run.frames_sent, run.closed ? 0u : 1u) << name;
    }
    EXPECT_EQ(seen, expected.size());
}

TEST(FuzzCorpus, EmptyAndTinyInputs) {
    EXPECT_EQ(ilkfuzz::run_apdu(nullptr, 0).frames_sent, 0u);
    const std::uint8_t one[] = {0x68};
    const ilkfuzz::apdu_run run = ilkfuzz::run_apdu(one, 1);
    EXPECT_FALSE(run.closed);
    EXPECT_TRUE(run.frames_sane);
}
