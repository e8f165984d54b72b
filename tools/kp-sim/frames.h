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

inline constexpr std::uint8_t type_interrogation = 100;
inline constexpr std::uint8_t type_clock_sync = 103;

using cp56 = std::array<std::uint8_t, 7>;

// The local time now as CP56Time2a (IV, summer time and day of week 0).
cp56 cp56_now();

struct info_object {
    int type = 1;
    int ioa = 0;
    int value = 0;
    int quality = 0;
    cp56 time{};
};

// Octets of one element after its address (value, quality, time); 0 for an unknown type.
int element_size(int type);
// Types with a time tag carry their own address per element; the others go as sequences.
bool is_timed(int type);
bool is_supported(int type);
// The value range a type can carry.
bool value_fits(int type, int value);
// The next value a periodic change gives: a toggle, a step up, one more unit.
int changed_value(int type, int value);

bytes u_frame(std::uint8_t function);
// Sequence numbers as counted (0..32767), not as transmitted.
bytes s_frame(int receive_number);
bytes i_frame(int send_number, int receive_number, const bytes& asdu);

// ASDUs carrying the objects in this order: untimed runs of consecutive addresses as one
// sequence each, timed objects as lists; each ASDU at most max_length octets.
std::vector<bytes> object_asdus(const std::vector<info_object>& objects, std::uint8_t cause,
                                int common_address, int max_length = max_asdu_length);

// Hexadecimal octets separated by blanks, "68 04 07 00 00 00".
std::string hex(const bytes& data);

} // namespace nxkit::kp_sim
