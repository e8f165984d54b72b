#include "tools/kp-sim/frames.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <ctime>

namespace nxkit::kp_sim {

cp56 cp56_now() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    int ms = local.tm_sec * 1000 + static_cast<int>(now.tv_nsec / 1000000);
    return {
        static_cast<std::uint8_t>(ms & 0xFF),          static_cast<std::uint8_t>(ms >> 8),
        static_cast<std::uint8_t>(local.tm_min),       static_cast<std::uint8_t>(local.tm_hour),
        static_cast<std::uint8_t>(local.tm_mday),      static_cast<std::uint8_t>(local.tm_mon + 1),
        static_cast<std::uint8_t>(local.tm_year % 100)};
}

int time_octets(int type) {
    switch (type) {
    case 2:
    case 4:
    case 6:
    case 8:
    case 10:
    case 12:
    case 14:
        return 3;
    default:
        return type >= 30 && type <= 36 ? 7 : 0;
    }
}

int untimed_type(int type) {
    static const int twins[][2] = {{2, 1},  {4, 3},  {6, 5},  {8, 7},  {10, 9}, {12, 11}, {14, 13},
                                   {30, 1}, {31, 3}, {32, 5}, {33, 7}, {34, 9}, {35, 11}, {36, 13}};
    for (const auto& t : twins)
        if (t[0] == type)
            return t[1];
    return type;
}

int element_size(int type) {
    int value = 0;
    switch (untimed_type(type)) {
    case 1:
    case 3:
        value = 1;
        break;
    case 5:
        value = 2;
        break;
    case 9:
    case 11:
        value = 3;
        break;
    case 7:
    case 13:
        value = 5;
        break;
    default:
        return 0;
    }
    return value + time_octets(type);
}

bool is_timed(int type) {
    return time_octets(type) > 0;
}

bool is_supported(int type) {
    return element_size(type) > 0;
}

bool value_fits(int type, double value) {
    const int base = untimed_type(type);
    if (base == 13)
        return true;
    if (value != static_cast<double>(static_cast<long long>(value)))
        return false;
    switch (base) {
    case 1:
        return value == 0 || value == 1;
    case 3:
        return value >= 0 && value <= 3;
    case 5:
        return value >= -64 && value <= 63;
    case 7:
        return value >= 0 && value <= 4294967295.0;
    case 9:
    case 11:
        return value >= -32768 && value <= 32767;
    default:
        return false;
    }
}

double changed_value(int type, double value) {
    switch (untimed_type(type)) {
    case 1:
        return value == 0 ? 1 : 0;
    case 3:
        return value == 1 ? 2 : 1;
    case 5:
        return value >= 63 ? -64 : value + 1;
    case 7:
        return value >= 4294967295.0 ? 0 : value + 1;
    case 13:
        return value + 1;
    default:
        return value >= 32767 ? -32768 : value + 1;
    }
}

bytes u_frame(std::uint8_t function) {
    return bytes{static_cast<char>(start_byte), 4, static_cast<char>(function), 0, 0, 0};
}

namespace {

void put16(bytes& out, int value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_element(bytes& out, const info_object& object, time_tag tag) {
    int q = object.quality & 0xFF;
    const auto whole = static_cast<long long>(object.value);
    switch (untimed_type(object.type)) {
    case 1:
        out.push_back(static_cast<char>((whole & 0x01) | (q & 0xF0)));
        break;
    case 3:
        out.push_back(static_cast<char>((whole & 0x03) | (q & 0xF0)));
        break;
    case 5:
        out.push_back(static_cast<char>(whole & 0x7F));
        out.push_back(static_cast<char>(q));
        break;
    case 7:
        put32(out, static_cast<std::uint32_t>(whole));
        out.push_back(static_cast<char>(q));
        break;
    case 13: {
        const auto f = static_cast<float>(object.value);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        put32(out, bits);
        out.push_back(static_cast<char>(q));
        break;
    }
    default:
        put16(out, static_cast<int>(whole));
        out.push_back(static_cast<char>(q));
        break;
    }
    cp56 time = object.time;
    if (tag == time_tag::invalid_bit)
        time[2] = static_cast<std::uint8_t>(time[2] | 0x80);
    if (tag == time_tag::bad_fields) {
        // Month 0 and day 0 in a CP56Time2a, minute 60 in a CP24Time2a.
        time[2] = 60;
        time[4] = 0;
        time[5] = 0;
    }
    const int octets = time_octets(object.type);
    for (int i = 0; i < octets; ++i)
        out.push_back(static_cast<char>(time[static_cast<std::size_t>(i)]));
}

bytes asdu_header(int type, int count, bool sequence, std::uint8_t cause, int common_address) {
    bytes out;
    out.push_back(static_cast<char>(type));
    out.push_back(static_cast<char>(count | (sequence ? 0x80 : 0)));
    out.push_back(static_cast<char>(cause));
    out.push_back(static_cast<char>(common_address & 0xFF));
    return out;
}

} // namespace

bytes s_frame(int receive_number) {
    bytes out{static_cast<char>(start_byte), 4, 1, 0};
    put16(out, (receive_number << 1) & 0xFFFF);
    return out;
}

bytes i_frame(int send_number, int receive_number, const bytes& asdu) {
    bytes out{static_cast<char>(start_byte), static_cast<char>(asdu.size() + 4)};
    put16(out, (send_number << 1) & 0xFFFF);
    put16(out, (receive_number << 1) & 0xFFFF);
    return out + asdu;
}

std::vector<bytes> object_asdus(const std::vector<info_object>& objects, std::uint8_t cause,
                                int common_address, int max_length, const send_form& form) {
    std::vector<bytes> result;
    if (form.test)
        cause = static_cast<std::uint8_t>(cause | cot_test);
    std::size_t i = 0;
    while (i < objects.size()) {
        const info_object& first = objects[i];
        int size = element_size(first.type);
        bool list = is_timed(first.type) || form.list;
        // Room after the data unit identifier: a sequence spends two octets on its one address.
        int room = max_length - 4 - (list ? 0 : 2);
        int limit = std::min(127, room / (list ? size + 2 : size));
        std::size_t n = 1;
        while (i + n < objects.size() && static_cast<int>(n) < limit &&
               objects[i + n].type == first.type &&
               (list || objects[i + n].ioa == first.ioa + static_cast<int>(n)))
            ++n;
        bytes asdu =
            asdu_header(first.type, static_cast<int>(n), !list && n > 1, cause, common_address);
        if (!list)
            put16(asdu, first.ioa);
        for (std::size_t k = 0; k < n; ++k) {
            if (list)
                put16(asdu, objects[i + k].ioa);
            put_element(asdu, objects[i + k], form.tag);
        }
        result.push_back(asdu);
        i += n;
    }
    return result;
}

std::vector<info_object> interrogation_objects(const std::vector<info_object>& objects) {
    std::vector<info_object> out = objects;
    for (info_object& o : out)
        o.type = untimed_type(o.type);
    std::stable_sort(out.begin(), out.end(), [](const info_object& a, const info_object& b) {
        return a.type != b.type ? a.type < b.type : a.ioa < b.ioa;
    });
    return out;
}

bool parse_hex(const std::string& text, bytes& out) {
    out.clear();
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
}

std::string value_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string hex(const bytes& data) {
    std::string out;
    char octet[4];
    for (unsigned char c : data) {
        std::snprintf(octet, sizeof octet, out.empty() ? "%02X" : " %02X", c);
        out += octet;
    }
    return out;
}

} // namespace nxkit::kp_sim
