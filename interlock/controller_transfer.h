#pragma once

#include "base/nx_time.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nxkit {

class nx_exception;
class t_ref_buff;

// The controller's file service: a short TCP exchange on the user-interface thread that reads
// the controller's configuration file line by line or writes a file in numbered blocks.
//
// Settings: [CONF] CTRL_PORT, the TCP port of the service, 10000 when absent (not written
// back). Only a test bench or a simulated controller needs another one.

inline constexpr int controller_default_port = 10000;
inline constexpr std::size_t controller_header_size = 36;
inline constexpr std::size_t controller_block_size = 1460;
inline constexpr std::size_t controller_block_data = 1454;
// The protocol counts the size in 16 bits; a larger file is refused before anything is sent.
inline constexpr long long controller_max_file_size = 65535;
inline constexpr std::size_t controller_name_length = 12;

struct transfer_options {
    int port = 0;                      // 0: the setting [CONF] CTRL_PORT
    int receive_timeout_ms = 15000;    // also bounds the connect and every send
    int read_answer_timeout_ms = 3000; // one answer of the line-by-line read
    std::function<nx_time()> clock;    // the header's time stamp; empty: time_now
    // The export first shows what changes in the file and asks whether to go on (the
    // operator's commands do; callers of the export alone may leave it out).
    bool review = false;
    // Set to the key of the controller's device once the export has found it.
    std::string* controller = nullptr;
};

// What a column of the interlock table offers for finding the controller, in walk order.
struct column_contacts {
    std::string contact_no;
    std::string contact_nc;
};

// [CONF] CTRL_PORT.
int controller_port();

// The endpoint text of the IEC 104 device that feeds the first column contact registered as a
// signal key (contact_no, or contact_nc when that is empty). Throws nx_exception_struct_to_ilk
// when no column leads to a device or the device is not an IEC 104 one.
std::string find_controller(t_ref_buff& store, const std::vector<column_contacts>& columns);

// The endpoint text of the IEC 104 device `device_key` (the controller the export fixed from
// its first signal). Throws nx_exception_struct_to_ilk when it is none or not an IEC 104 one.
std::string controller_endpoint(t_ref_buff& store, const std::string& device_key);

// Whether a reply of the controller holds the line `word` (blanks and line ends around each
// line do not count): "NOK" is no "OK", a file line "APPENDIX" is no "END".
bool reply_says(const std::string& reply, const char* word);

// CRC-16/XMODEM (polynomial 0x1021, initial 0, no final inversion) of the octets up to the
// first zero octet.
std::uint16_t controller_crc(std::string_view bytes);

// The 36-octet write header for a file of that name (UTF-8) and content, stamped with `now`.
std::string controller_header(const std::string& name, std::string_view content,
                              const nx_time_fields& now);

// Data block `number` (from 1) of the content: always 1460 octets, the unused tail zero.
std::string controller_block(int number, std::string_view content);

// The controller at `endpoint` (its host part; the port is the service's): reads its file
// into `file_path` or writes `file_path` to it. Failures throw nx_exception_struct_to_ilk with
// the operator's text, or nx_exception_sock_sync for the connection.
void controller_read(const std::string& endpoint, const std::string& file_path,
                     const transfer_options& options = {});
void controller_write(const std::string& endpoint, const std::string& file_path,
                      const transfer_options& options = {});

// Reads (read) or writes the file with the controller device `device_key`. Throws.
void transfer_with_device(t_ref_buff& store, const std::string& device_key,
                          const std::string& file_path, bool read,
                          const transfer_options& options = {});

// Finds the controller from the columns, then reads (read) or writes the file. Throws.
void transfer(t_ref_buff& store, const std::vector<column_contacts>& columns,
              const std::string& file_path, bool read, const transfer_options& options = {});

// The same, reported: a failure is written to the main log as an ERR line (every double line
// break made single) and shown in an error box with `caption`. True when it succeeded.
bool read_controller_file(t_ref_buff& store, const std::vector<column_contacts>& columns,
                          const std::string& file_path, const std::string& caption,
                          const transfer_options& options = {});
bool write_controller_file(t_ref_buff& store, const std::vector<column_contacts>& columns,
                           const std::string& file_path, const std::string& caption,
                           const transfer_options& options = {});

// Logs and shows a failure of the transfer or the export as the operator sees it.
void report_transfer_failure(t_ref_buff& store, const nx_exception& failure,
                             const std::string& caption);

} // namespace nxkit
