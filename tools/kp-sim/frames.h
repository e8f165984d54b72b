#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The simulator's own IEC 60870-5-104 encoder, server side. Profile: cause of transmission
// one octet, common address one octet, information object address two octets.
namespace nxkit::kp_sim {

using bytes = std::string;

inline constexpr std::uint8_t start_byte = 0x68;
inline constexpr int max_apdu_length = 253;
inline constexpr int max_asdu_length = max_apdu_length - 4;

// U-format functions.
inline constexpr std::uint8_t startdt_act = 0x07;
inline constexpr std::uint8_t startdt_con = 0x0B;
inline constexpr std::uint8_t stopdt_act = 0x13;
inline constexpr std::uint8_t stopdt_con = 0x23;
inline constexpr std::uint8_t testfr_act = 0x43;
inline constexpr std::uint8_t testfr_con = 0x83;

// Causes of transmission.
inline constexpr std::uint8_t cot_spontaneous = 3;
inline constexpr std::uint8_t cot_activation = 6;
inline constexpr std::uint8_t cot_act_con = 7;
inline constexpr std::uint8_t cot_act_term = 10;
inline constexpr std::uint8_t cot_interrogated = 20;
inline constexpr std::uint8_t cot_unknown_type = 44;
inline constexpr std::uint8_t cot_unknown_cause = 45;
inline constexpr std::uint8_t cot_unknown_address = 46;
inline constexpr std::uint8_t cot_negative = 0x40;
inline constexpr std::uint8_t cot_test = 0x80;

inline constexpr std::uint8_t type_interrogation = 100;
inline constexpr std::uint8_t type_clock_sync = 103;

using cp56 = std::array<std::uint8_t, 7>;

// The local time now as CP56Time2a (IV, summer time and day of week 0).
cp56 cp56_now();

struct info_object {
    int type = 1;
    int ioa = 0;
    // A short float for types 13, 14 and 36, a whole number for the others.
    double value = 0;
    int quality = 0;
    cp56 time{};
};

// What the time tags of timed objects carry.
enum class time_tag { valid, invalid_bit, bad_fields };

// How ASDUs of objects are sent.
struct send_form {
    // Untimed objects each with its own address (SQ = 0) instead of sequences.
    bool list = false;
    // The test bit (80H) in the cause of transmission.
    bool test = false;
    time_tag tag = time_tag::valid;
};

// Octets of one element after its address (value, quality, time); 0 for an unknown type.
int element_size(int type);
// Octets of the time tag: 0, 3 (CP24Time2a) or 7 (CP56Time2a).
int time_octets(int type);
// Types with a time tag carry their own address per element; the others go as sequences.
bool is_timed(int type);
bool is_supported(int type);
// The type without time tag that station interrogation reports an object as (1 for 2 and 30).
int untimed_type(int type);
// The value range a type can carry.
bool value_fits(int type, double value);
// The next value a periodic change gives: a toggle, a step up, one more unit.
double changed_value(int type, double value);

bytes u_frame(std::uint8_t function);
// Sequence numbers as counted (0..32767), not as transmitted.
bytes s_frame(int receive_number);
bytes i_frame(int send_number, int receive_number, const bytes& asdu);

// ASDUs carrying the objects in this order: untimed runs of consecutive addresses as one
// sequence each, timed objects as lists; each ASDU at most max_length octets.
std::vector<bytes> object_asdus(const std::vector<info_object>& objects, std::uint8_t cause,
                                int common_address, int max_length = max_asdu_length,
                                const send_form& form = {});
// The objects as station interrogation reports them: untimed types, sorted by type and address.
std::vector<info_object> interrogation_objects(const std::vector<info_object>& objects);
// Octets from "01 03 14 05 ..."; false when malformed.
bool parse_hex(const std::string& text, bytes& out);

// A value as "%g" writes it.
std::string value_text(double value);

// Hexadecimal octets separated by blanks, "68 04 07 00 00 00".
std::string hex(const bytes& data);

} // namespace nxkit::kp_sim
