#pragma once

// A trend's samples as a CSV file (UTF-8, a header row, local ISO 8601 times, CR LF), and
// back: the demo loads such a file into the memory source.

#include "archive/archive_series.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

struct trend_csv_series {
    std::string key;
    std::string title;
    std::vector<archive_sample> samples;
};

// "норма", or the names of the quality bits joined by "+": "недостоверно", "нет контроля",
// "ручной ввод".
std::string quality_text(std::uint32_t quality);

// One row per sample in time order (equal times in the order of the series), only samples
// within [from_ms, to_ms]: "время,сигнал,название,значение,качество".
std::string trend_csv(const std::vector<trend_csv_series>& series, std::int64_t from_ms,
                      std::int64_t to_ms, std::int64_t utc_offset_ms);

// The rows of such a text as (key, sample); rows that do not parse are skipped and counted.
struct trend_csv_row {
    std::string key;
    archive_sample sample;
};
std::vector<trend_csv_row> parse_trend_csv(const std::string& text, std::int64_t utc_offset_ms,
                                           int* skipped = nullptr);

} // namespace nxkit
