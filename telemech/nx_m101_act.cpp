#include "telemech/nx_m101_act.h"

#include "base/format.h"
#include "base/last_error.h"
#include "base/nx_exception.h"
#include "telemech/nx_mCANAL101.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace nxkit {

namespace {

tm_ms steady_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

enum class kind { err, war, mes };

void write_line(nx_log& log, kind k, const std::string& text) {
    if (k == kind::err)
        log.err(text);
    else if (k == kind::war)
        log.war(text);
    else
        log.mes(text);
}

// The port log's raw traffic: "->" for received octets, "<•" for sent ones.
void dump_raw(nx_log& log, bool sent, const std::uint8_t* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = sent ? "<\u2022" : "->";
    for (std::size_t i = 0; i < size; ++i) {
        text += ' ';
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    log.mes(text);
}

struct link_entry {
    nx_tm_info* sink;
    std::unique_ptr<nx_mCANAL101> link;
};

// A failed write or read: the operation's name, then what went wrong.
struct line_failure {
    std::string text;
};

} // namespace

std::string nx_m101_act::link_key(std::uint16_t address) {
    return std::to_string(address) + ": ";
}

std::string nx_m101_act::line_description(int port_number, const serial_line& line) {
    static const char* const stops[] = {"1", "1.5", "2"};
    static const char* const parities[] = {"НЕТ", "Нечетный", "Четный", "Маркер", "Пробел"};
    const char* stop =
        line.stop_bits >= 0 && line.stop_bits <= 2 ? stops[line.stop_bits] : "ОШИБКА";
    const char* parity = line.parity >= 0 && line.parity <= 4 ? parities[line.parity] : "ОШИБКА";
    return format_short("COM%d, %d бод, %d бит, стоп бит %s, паритет %s", port_number, line.baud,
                        line.data_bits, stop, parity);
}

nx_m101_act::~nx_m101_act() {
    stop();
}

bool nx_m101_act::start(const nx_m101_settings& settings,
                        std::map<std::uint16_t, nx_tm_info*> points, const std::string& log_file,
                        int log_size, nx_log& log) {
    if (is_running())
        return false;
    nx_m101_settings copy = settings;
    if (!copy.clock)
        copy.clock = steady_ms;
    log_ = &log;
    log_file_ = log_file;
    stop_limit_ms_ = copy.stop_limit_ms;
    sinks_.clear();
    for (const auto& [address, sink] : points)
        sinks_.insert(sink);
    // A fresh event: a stop meant for an earlier worker cannot end this one.
    state_ = std::make_shared<shared>();
    thread_ = std::thread(&nx_m101_act::run, state_, std::move(copy), std::move(points), log_file,
                          log_size, &log);
    return true;
}

bool nx_m101_act::stop() {
    if (!is_running())
        return false;
    state_->stop.signal();
    std::unique_lock guard(state_->lock);
    bool ended = state_->ended_signal.wait_for(guard, std::chrono::milliseconds(stop_limit_ms_),
                                               [&] { return state_->ended; });
    guard.unlock();
    if (ended) {
        thread_.join();
    } else {
        // No thread can be ended from outside here: report it and let it go.
        const char* text = "НЕуспешная попытка принудительного завершения потока";
        log_->war(text);
        if (!log_file_.empty()) {
            nx_log port_log;
            if (port_log.open(log_file_, 0, 0))
                port_log.war(text);
        }
        thread_.detach();
    }
    state_.reset();
    sinks_.clear();
    return true;
}

void nx_m101_act::run(std::shared_ptr<shared> state, nx_m101_settings settings,
                      std::map<std::uint16_t, nx_tm_info*> points, std::string log_file,
                      int log_size, nx_log* main_log) {
    stop_event& stop = state->stop;
    const std::string name = settings.device;
    nx_log port_log;
    if (!log_file.empty())
        port_log.open(log_file, log_size, 0);
    // Ordered by the text of the address: 1, 10, 2, ...
    std::map<std::string, link_entry> links;

    auto line = [&](kind k, const std::string& text) {
        write_line(*main_log, k, text);
        if (!port_log.file_name().empty())
            write_line(port_log, k, text);
        for (auto& [key, entry] : links)
            if (entry.link->log().mode() != 0)
                write_line(entry.link->log(), k, text);
    };

    bool stopped = false;
    bool first = true;
    while (!stopped) {
        if (!first && stop.wait(settings.reopen_ms))
            break;
        first = false;

        links.clear();
        for (auto [address, sink] : points) {
            auto link = std::make_unique<nx_mCANAL101>(address, *sink, settings.line.baud,
                                                       settings.clock());
            std::string file;
            int mode = 0;
            int size = 0;
            sink->get_log_settings(file, mode, size);
            link->log().open(file, mode, size);
            sink->link_down();
            links[link_key(address)] = link_entry{sink, std::move(link)};
        }

        serial_port port;
        if (!port.open(name)) {
            line(kind::err, "не удалось открыть порт " + name + last_error_text(port.error()));
            continue;
        }
        serial_line current;
        if (!port.get_line(current)) {
            line(kind::err,
                 "не удалось получить состояние порта " + name + last_error_text(port.error()));
            continue;
        }
        line(kind::mes, line_description(settings.port_number, settings.line));
        if (!port.set_line(settings.line)) {
            line(kind::err,
                 "не удалось установить состояние порта " + name + last_error_text(port.error()));
            continue;
        }
        port.set_timeouts(settings.timeouts);
        port.discard_input();
        line(kind::mes, "старт 101 " + name + " ================================================");
        state->line_open = true;

        try {
            while (!stopped) {
                for (auto& [key, entry] : links) {
                    if (stop.take()) {
                        stopped = true;
                        break;
                    }
                    nx_mCANAL101& link = *entry.link;
                    std::span<const std::uint8_t> frame = link.next_frame(settings.clock());
                    if (!frame.empty()) {
                        if (!port_log.file_name().empty())
                            dump_raw(port_log, true, frame.data(), frame.size());
                        std::size_t written = 0;
                        wait_result w = port.write(frame.data(), frame.size(), written,
                                                   settings.io_limit_ms, &stop);
                        if (w == wait_result::stopped) {
                            stopped = true;
                            break;
                        }
                        if (w == wait_result::failed)
                            throw line_failure{"WriteFile ошибка записи " + name +
                                               last_error_text(port.error())};
                        if (written < frame.size())
                            line(kind::war, key + format_short("передано %d из %d (для отладки)",
                                                               static_cast<int>(written),
                                                               static_cast<int>(frame.size())));
                    }
                    bool over = false;
                    while (!over) {
                        // Wait for the response until its deadline; while a frame is arriving
                        // the deadline moves with its octets, so nothing is sent into it.
                        tm_ms left = link.wait_ms(settings.clock());
                        int limit =
                            static_cast<int>(std::clamp<tm_ms>(left, 1, settings.io_limit_ms));
                        std::span<std::uint8_t> space = link.receive_space();
                        std::size_t got = 0;
                        wait_result r = port.read(space.data(), space.size(), got, limit, &stop);
                        if (r == wait_result::stopped) {
                            stopped = true;
                            break;
                        }
                        if (r == wait_result::failed)
                            throw line_failure{"ReadFile ошибка чтения " + name +
                                               last_error_text(port.error())};
                        if (got > 0 && !port_log.file_name().empty())
                            dump_raw(port_log, false, space.data(), got);
                        try {
                            over = link.parse(got, settings.clock());
                        } catch (const nx_exception& e) {
                            if (!port_log.file_name().empty())
                                port_log.err(key + e.what());
                            over = true;
                        }
                    }
                    if (stopped)
                        break;
                    if (link.link_down())
                        entry.sink->link_down();
                }
            }
        } catch (const line_failure& failure) {
            line(kind::err, failure.text);
        }
        state->line_open = false;
        line(kind::mes, "стоп 101 " + name + " ------------------------------------------------");
        for (auto& [key, entry] : links)
            entry.sink->link_down();
        port.close();
    }
    links.clear();

    std::lock_guard guard(state->lock);
    state->ended = true;
    state->ended_signal.notify_all();
}

} // namespace nxkit
