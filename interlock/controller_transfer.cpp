#include "interlock/controller_transfer.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_log.h"
#include "base/prompt.h"
#include "base/settings.h"
#include "config/t_ref_buff.h"
#include "telemech/nx_socket_sync.h"
#include "telemech/t_dev_104.h"
#include "telemech/t_dev_change.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace nxkit {

namespace {

// The controller's answers are short; one that fills this buffer is a fault of the link.
constexpr int receive_capacity = 10000;

void put_u16(std::string& out, std::size_t at, unsigned value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void put_u32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const char* const mek_marker = ".MEK=";

// A command or an answer as one log line: its trailing line break and blanks cut.
std::string log_text(const std::string& wire) {
    std::string text = from_cp1251(wire);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string file_name_of(const std::string& file_path) {
    return path_part(file_path, part_name | part_ext);
}

void check_name(const std::string& name) {
    if (utf8_length(name) > controller_name_length)
        throw nx_exception_struct_to_ilk(name + " - имя файла должно быть не более 12 символов");
}

// One connection of the transfer; closed when the call ends, also on failure.
class controller_link {
public:
    controller_link(const std::string& endpoint, const transfer_options& options)
        : options_(options), buffer_(receive_capacity + 1) {
        int port = options.port != 0 ? options.port : controller_port();
        socket_.connect(endpoint, port, options.receive_timeout_ms);
    }

    void send(const std::string& bytes) { socket_.send(bytes); }

    // A command text: logged before it is sent.
    void send_command(const std::string& text) {
        nx_log::main().mes(log_text(text));
        socket_.send(text);
    }

    std::string receive(int timeout_ms) {
        int n = socket_.receive(buffer_.data(), receive_capacity, timeout_ms);
        return std::string(buffer_.data(), static_cast<std::size_t>(n));
    }

    // An answer of the write, logged; it must carry "OK" when `required`.
    std::string answer(bool required) {
        std::string text = receive(options_.receive_timeout_ms);
        nx_log::main().mes(log_text(text));
        if (required && !reply_says(text, "OK"))
            throw nx_exception_struct_to_ilk(from_cp1251(text));
        return text;
    }

private:
    transfer_options options_;
    nx_socket_sync socket_;
    std::vector<char> buffer_;
};

} // namespace

int controller_port() {
    return settings_get_int("CONF", "CTRL_PORT", controller_default_port, false);
}

std::string find_controller(t_ref_buff& store, const std::vector<column_contacts>& columns) {
    for (const column_contacts& column : columns) {
        const std::string& contact =
            column.contact_no.empty() ? column.contact_nc : column.contact_no;
        if (contact.empty())
            continue;
        std::string feeder = store.feeder(contact);
        if (feeder.empty())
            continue;
        auto* object = dynamic_cast<t_dev_change*>(store.get(feeder));
        if (object == nullptr)
            continue;
        // The first registered contact decides, whatever its device turns out to be.
        if (auto* device = dynamic_cast<t_dev_104*>(object->device()))
            return device->endpoint();
        break;
    }
    throw nx_exception_struct_to_ilk("Не найден или не задан ip-адрес контроллера.");
}

std::string controller_endpoint(t_ref_buff& store, const std::string& device_key) {
    if (auto* device = dynamic_cast<t_dev_104*>(store.get(device_key));
        device != nullptr && !device_key.empty())
        return device->endpoint();
    throw nx_exception_struct_to_ilk("Не найден или не задан ip-адрес контроллера.");
}

bool reply_says(const std::string& reply, const char* word) {
    std::size_t from = 0;
    while (from <= reply.size()) {
        std::size_t to = reply.find_first_of("\r\n", from);
        if (to == std::string::npos)
            to = reply.size();
        std::size_t first = reply.find_first_not_of(' ', from);
        std::size_t last = reply.find_last_not_of(' ', to == 0 ? 0 : to - 1);
        if (first != std::string::npos && first < to && last != std::string::npos &&
            last >= first && reply.compare(first, last - first + 1, word) == 0)
            return true;
        from = to + 1;
    }
    return false;
}

std::uint16_t controller_crc(std::string_view bytes) {
    std::uint16_t crc = 0;
    for (char c : bytes) {
        if (c == 0)
            break;
        crc ^= static_cast<std::uint16_t>(static_cast<unsigned char>(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) != 0 ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                      : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::string controller_header(const std::string& name, std::string_view content,
                              const nx_time_fields& now) {
    std::string header(controller_header_size, '\0');
    put_u32(header, 0, 0x3333);
    put_u16(header, 4, 0x7188);
    std::string name_bytes = to_cp1251(name).substr(0, controller_name_length);
    std::memcpy(header.data() + 6, name_bytes.data(), name_bytes.size());
    header[18] = static_cast<char>(now.year - 1980);
    header[19] = static_cast<char>(now.month);
    header[20] = static_cast<char>(now.day);
    header[21] = static_cast<char>(now.hour);
    header[22] = static_cast<char>(now.minute);
    header[23] = static_cast<char>(now.second);
    put_u32(header, 24, static_cast<std::uint32_t>(content.size() & 0xFFFF));
    put_u32(header, 28, 0xFFFFFFFF);
    put_u16(header, 32, controller_crc(content));
    put_u16(header, 34, 0xFFFF);
    return header;
}

std::string controller_block(int number, std::string_view content) {
    std::string block(controller_block_size, '\0');
    std::size_t offset = static_cast<std::size_t>(number - 1) * controller_block_data;
    std::size_t length =
        offset < content.size() ? std::min(controller_block_data, content.size() - offset) : 0;
    put_u16(block, 0, 0x3333);
    put_u16(block, 2, static_cast<unsigned>(number));
    put_u16(block, 4, static_cast<unsigned>(length));
    if (length > 0)
        std::memcpy(block.data() + 6, content.data() + offset, length);
    return block;
}

void controller_read(const std::string& endpoint, const std::string& file_path,
                     const transfer_options& options) {
    check_name(file_name_of(file_path));
    controller_link link(endpoint, options);
    nx_log::main().mes("Чтение из контроллера " + endpoint + " : " + file_path);
    std::string content;
    for (const char* request = "1980";; request = "1981") {
        link.send(request);
        std::string answer = link.receive(options.read_answer_timeout_ms);
        // Whole reply lines only: a file line that merely holds these letters is content.
        if (reply_says(answer, "ERROR"))
            throw nx_exception_struct_to_ilk("В контроллере нет файла конфигурации.");
        if (reply_says(answer, "END"))
            break;
        std::erase_if(answer, [](char c) { return c == '\r' || c == '\n'; });
        while (!answer.empty() && answer.back() == ' ')
            answer.pop_back();
        content += answer + "\r\n";
    }
    if (content.empty())
        throw nx_exception_struct_to_ilk("Не удалось прочитать файл конфигурации.");
    // A file the export could not use must not take the place of a good local copy.
    if (content.find(mek_marker) == std::string::npos)
        throw nx_exception_struct_to_ilk(
            "В файле конфигурации из контроллера нет строки .MEK=.\r\n\r\nЛокальный файл " +
            file_path + " не заменён.");
    // Replaced at once, so a failure leaves the old file as it was.
    if (!write_file_atomic(file_path, content))
        throw nx_exception_struct_to_ilk("Не удалось сохранить файл конфигурации: " + file_path);
}

void controller_write(const std::string& endpoint, const std::string& file_path,
                      const transfer_options& options) {
    std::string name = file_name_of(file_path);
    check_name(name);
    // The file is read and measured before the controller is touched: a file that cannot be
    // sent must not cost the controller its current one.
    std::string content;
    if (!read_file(file_path, content))
        throw nx_exception_struct_to_ilk("не удалось прочитать файл: " + file_path);
    if (static_cast<long long>(content.size()) > controller_max_file_size)
        throw nx_exception_struct_to_ilk(
            "Файл " + file_path + " слишком велик для контроллера: " +
            std::to_string(content.size()) + " байт.\r\n\r\nКонтроллер принимает файлы не более " +
            std::to_string(controller_max_file_size) + " байт. Файл не передан.");
    nx_time now = options.clock ? options.clock() : time_now();
    std::string header = controller_header(name, content, time_decode(now));

    controller_link link(endpoint, options);
    nx_log::main().mes("Запись в контроллер: " + endpoint + " : " + file_path);
    link.send_command("33del b\r");
    link.answer(false);
    link.send_command("33load b " + std::to_string(content.size()) + "\r");
    link.answer(true);
    link.send(header);
    link.answer(true);
    std::size_t size = content.size();
    for (std::size_t k = 1;; ++k) {
        link.send(controller_block(static_cast<int>(k), content));
        link.answer(true);
        if (size + 1 <= k * controller_block_data) {
            link.answer(true);
            break;
        }
    }
    link.send_command("33reset\r");
}

void transfer(t_ref_buff& store, const std::vector<column_contacts>& columns,
              const std::string& file_path, bool read, const transfer_options& options) {
    std::string endpoint = find_controller(store, columns);
    if (read)
        controller_read(endpoint, file_path, options);
    else
        controller_write(endpoint, file_path, options);
}

void transfer_with_device(t_ref_buff& store, const std::string& device_key,
                          const std::string& file_path, bool read,
                          const transfer_options& options) {
    if (store.detached())
        throw nx_exception("в режиме проверки блокировок связь с контроллером невозможна");
    std::string endpoint = controller_endpoint(store, device_key);
    if (read)
        controller_read(endpoint, file_path, options);
    else
        controller_write(endpoint, file_path, options);
}

void report_transfer_failure(t_ref_buff& store, const nx_exception& failure,
                             const std::string& caption) {
    std::string line = failure.what();
    for (std::size_t at = 0; (at = line.find("\r\n\r\n", at)) != std::string::npos; at += 2)
        line.erase(at, 2);
    nx_log::main().err(line);
    show_message(store.owner_window(), failure.what(), mb_error, caption.c_str());
}

namespace {

bool reported(t_ref_buff& store, const std::vector<column_contacts>& columns,
              const std::string& file_path, bool read, const std::string& caption,
              const transfer_options& options) {
    try {
        transfer(store, columns, file_path, read, options);
        return true;
    } catch (const nx_exception& failure) {
        report_transfer_failure(store, failure, caption);
        return false;
    }
}

} // namespace

bool read_controller_file(t_ref_buff& store, const std::vector<column_contacts>& columns,
                          const std::string& file_path, const std::string& caption,
                          const transfer_options& options) {
    return reported(store, columns, file_path, true, caption, options);
}

bool write_controller_file(t_ref_buff& store, const std::vector<column_contacts>& columns,
                           const std::string& file_path, const std::string& caption,
                           const transfer_options& options) {
    return reported(store, columns, file_path, false, caption, options);
}

} // namespace nxkit
