#include "trends/trend_csv.h"

#include "base/text.h"
#include "trends/trend_axis.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace nxkit {

namespace {

struct quality_name {
    std::uint32_t bit;
    const char* text;
};
constexpr quality_name quality_names[] = {{quality_invalid, "недостоверно"},
                                          {quality_no_control, "нет контроля"},
                                          {quality_manual, "ручной ввод"}};

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string iso_local(std::int64_t time_ms, std::int64_t offset_ms) {
    local_parts p = local_time_parts(time_ms, offset_ms);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", p.year, p.month,
                  p.day, p.hour, p.minute, p.second, p.millisecond);
    return buffer;
}

// The shortest text that reads back as the same double.
std::string number_text(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

// Days from 1970-01-01 of a civil date.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool parse_time(const std::string& text, std::int64_t offset_ms, std::int64_t& out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms) !=
            7 ||
        mo < 1 || mo > 12 || d < 1 || d > 31)
        return false;
    std::int64_t days = days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    out = ((days * 24 + h) * 60 + mi) * 60000LL + s * 1000LL + ms - offset_ms;
    return true;
}

bool parse_quality(const std::string& text, std::uint32_t& out) {
    out = 0;
    if (text == "норма")
        return true;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('+', from);
        std::string part = text.substr(from, end == std::string::npos ? end : end - from);
        auto it = std::find_if(std::begin(quality_names), std::end(quality_names),
                               [&](const quality_name& q) { return part == q.text; });
        if (it == std::end(quality_names))
            return false;
        out |= it->bit;
        if (end == std::string::npos)
            break;
        from = end + 1;
    }
    return true;
}

} // namespace

std::string quality_text(std::uint32_t quality) {
    std::string text;
    for (const quality_name& q : quality_names) {
        if ((quality & q.bit) == 0)
            continue;
        if (!text.empty())
            text += '+';
        text += q.text;
    }
    return text.empty() ? "норма" : text;
}

std::string trend_csv(const std::vector<trend_csv_series>& series, std::int64_t from_ms,
                      std::int64_t to_ms, std::int64_t utc_offset_ms) {
    struct row {
        std::int64_t time;
        std::size_t series;
        const archive_sample* sample;
    };
    std::vector<row> rows;
    for (std::size_t i = 0; i < series.size(); ++i)
        for (const archive_sample& s : series[i].samples)
            if (s.time_ms >= from_ms && s.time_ms <= to_ms)
                rows.push_back({s.time_ms, i, &s});
    std::stable_sort(rows.begin(), rows.end(), [](const row& a, const row& b) {
        return a.time != b.time ? a.time < b.time : a.series < b.series;
    });
    std::string out = "время,сигнал,название,значение,качество\r\n";
    for (const row& r : rows) {
        const trend_csv_series& s = series[r.series];
        out += iso_local(r.time, utc_offset_ms) + ',' + csv_field(s.key) + ',' +
               csv_field(s.title) + ',' + number_text(r.sample->value) + ',' +
               quality_text(r.sample->quality) + "\r\n";
    }
    return out;
}

std::vector<trend_csv_row> parse_trend_csv(const std::string& text, std::int64_t utc_offset_ms,
                                           int* skipped) {
    std::vector<trend_csv_row> rows;
    int bad = 0;
    std::istringstream in(text);
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (header) {
            header = false;
            continue;
        }
        if (line.empty())
            continue;
        std::vector<std::string> f = split_csv_line(line, ',');
        trend_csv_row row;
        double value = 0;
        bool ok = f.size() == 5 && parse_time(f[0], utc_offset_ms, row.sample.time_ms) &&
                  !f[1].empty() && parse_quality(f[4], row.sample.quality);
        if (ok) {
            auto [end, ec] = std::from_chars(f[3].data(), f[3].data() + f[3].size(), value);
            ok = ec == std::errc() && end == f[3].data() + f[3].size();
        }
        if (!ok) {
            ++bad;
            continue;
        }
        row.key = f[1];
        row.sample.value = value;
        rows.push_back(row);
    }
    if (skipped != nullptr)
        *skipped = bad;
    return rows;
}

} // namespace nxkit
