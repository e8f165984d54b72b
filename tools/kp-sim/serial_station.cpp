#include "tools/kp-sim/serial_station.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace nxkit::kp_sim {

namespace {

constexpr unsigned char fixed_start = 0x10;
constexpr unsigned char variable_start = 0x68;
constexpr unsigned char end_octet = 0x16;
constexpr unsigned char single_ack = 0xE5;
constexpr unsigned char acd = 0x20;
constexpr unsigned char fcb = 0x20;
constexpr unsigned char fcv = 0x10;

// Functions of the primary station.
constexpr int fn_reset = 0;
constexpr int fn_user_data = 3;
constexpr int fn_status = 9;
constexpr int fn_class1 = 10;
constexpr int fn_class2 = 11;
// Functions of the secondary station.
constexpr int fn_ack = 0;
constexpr int fn_nack = 1;
constexpr int fn_user_data_answer = 8;
constexpr int fn_no_data = 9;
constexpr int fn_link_status = 11;

unsigned char octet(const bytes& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]);
}

unsigned char sum(const bytes& b, std::size_t first, std::size_t count) {
    unsigned total = 0;
    for (std::size_t i = 0; i < count; ++i)
        total += octet(b, first + i);
    return static_cast<unsigned char>(total & 0xFF);
}

short revents_of(const std::vector<pollfd>& fds, int fd) {
    for (const pollfd& p : fds)
        if (p.fd == fd)
            return p.revents;
    return 0;
}

} // namespace

serial_station::serial_station(serial_config config, printer print, bool verbose)
    : config_(std::move(config)), print_(std::move(print)), verbose_(verbose) {
    for (const link_config& link : config_.links) {
        station s;
        s.config = link;
        std::sort(s.config.objects.begin(), s.config.objects.end(),
                  [](const info_object& a, const info_object& b) {
                      return a.type != b.type ? a.type < b.type : a.ioa < b.ioa;
                  });
        s.current_fault = config_.initial_fault;
        stations_.push_back(std::move(s));
    }
}

serial_station::~serial_station() {
    if (slave_fd_ >= 0)
        ::close(slave_fd_);
    if (fd_ >= 0 && !port_.is_open())
        ::close(fd_);
}

bool serial_station::open(std::string& error) {
    if (config_.device != "pty") {
        serial_line line;
        line.baud = config_.baud;
        if (!port_.open(config_.device) || !port_.set_line(line)) {
            error = config_.device + ": " + std::strerror(port_.error());
            return false;
        }
        fd_ = port_.fd();
        name_ = config_.device;
    } else {
        fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0 || ::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0 || ::ptsname(fd_) == nullptr) {
            error = std::string("pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        name_ = ::ptsname(fd_);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        slave_fd_ = ::open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios t{};
        if (slave_fd_ < 0 || ::tcgetattr(slave_fd_, &t) != 0) {
            error = name_ + ": " + std::strerror(errno);
            return false;
        }
        // Raw until the workstation sets the line itself: no echo, no line editing.
        ::cfmakeraw(&t);
        ::tcsetattr(slave_fd_, TCSANOW, &t);
    }
    if (config_.period_ms > 0)
        next_change_ = clock::now() + std::chrono::milliseconds(config_.period_ms);
    return true;
}

void serial_station::say(const std::string& text) const {
    if (verbose_)
        print_(name_ + " " + text);
}

void serial_station::add_poll(std::vector<pollfd>& fds) const {
    if (fd_ >= 0)
        fds.push_back({fd_, POLLIN, 0});
}

void serial_station::on_ready(const std::vector<pollfd>& fds) {
    if (fd_ < 0 || (revents_of(fds, fd_) & (POLLIN | POLLHUP | POLLERR)) == 0)
        return;
    char buffer[512];
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
        received_.append(buffer, static_cast<std::size_t>(n));
        process();
    } else if ((revents_of(fds, fd_) & POLLHUP) != 0) {
        // Nobody has the line open: the pseudo-terminal hangs up until somebody does.
        ::usleep(10000);
    }
}

// Cuts frames out of what arrived; anything that is no frame is dropped octet by octet.
void serial_station::process() {
    while (!received_.empty()) {
        const unsigned char first = octet(received_, 0);
        std::size_t size = 0;
        if (first == fixed_start) {
            if (received_.size() < 5)
                return;
            size = 5;
            if (octet(received_, 4) != end_octet || sum(received_, 1, 2) != octet(received_, 3)) {
                say("recv broken " + hex(received_.substr(0, 5)));
                received_.erase(0, 1);
                continue;
            }
        } else if (first == variable_start) {
            if (received_.size() < 4)
                return;
            const std::size_t length = octet(received_, 1);
            if (octet(received_, 2) != length || octet(received_, 3) != variable_start ||
                length < 2) {
                received_.erase(0, 1);
                continue;
            }
            if (received_.size() < length + 6)
                return;
            size = length + 6;
            if (octet(received_, size - 1) != end_octet ||
                sum(received_, 4, length) != octet(received_, size - 2)) {
                say("recv broken " + hex(received_.substr(0, size)));
                received_.erase(0, 1);
                continue;
            }
        } else {
            received_.erase(0, 1);
            continue;
        }
        bytes frame = received_.substr(0, size);
        received_.erase(0, size);
        on_frame(frame);
    }
}

void serial_station::on_frame(const bytes& frame) {
    const bool fixed_frame = octet(frame, 0) == fixed_start;
    const unsigned char control = fixed_frame ? octet(frame, 1) : octet(frame, 4);
    const unsigned char address = fixed_frame ? octet(frame, 2) : octet(frame, 5);
    for (station& s : stations_) {
        if (s.config.address != address)
            continue;
        say("recv " + hex(frame));
        serve(s, control, fixed_frame ? bytes() : frame.substr(6, frame.size() - 8));
        return;
    }
}

bytes serial_station::fixed(const station& s, int function) const {
    const auto control = static_cast<unsigned char>(function | (s.class1.empty() ? 0 : acd));
    const auto address = static_cast<unsigned char>(s.config.address);
    bytes f = {static_cast<char>(fixed_start), static_cast<char>(control),
               static_cast<char>(address), static_cast<char>((control + address) & 0xFF),
               static_cast<char>(end_octet)};
    return f;
}

bytes serial_station::variable(const station& s, const bytes& asdu) const {
    const auto control =
        static_cast<unsigned char>(fn_user_data_answer | (s.class1.empty() ? 0 : acd));
    const auto length = static_cast<char>(asdu.size() + 2);
    bytes f = {static_cast<char>(variable_start),
               length,
               length,
               static_cast<char>(variable_start),
               static_cast<char>(control),
               static_cast<char>(s.config.address)};
    f += asdu;
    f += static_cast<char>(sum(f, 4, asdu.size() + 2));
    f += static_cast<char>(end_octet);
    return f;
}

void serial_station::serve(station& s, std::uint8_t control, const bytes& asdu) {
    const fault_mode mode = s.current_fault.mode;
    if (mode == fault_mode::silent) {
        say("silent");
        return;
    }
    const int function = control & 0x0F;
    const bool counted = (control & fcv) != 0;
    const int frame_bit = (control & fcb) != 0 ? 1 : 0;
    // Strictly, a frame whose FCB did not toggle repeats the last one: it gets the last answer.
    if (config_.strict && counted && s.reset && frame_bit == s.last_fcb && !s.last_answer.empty()) {
        send(s, s.last_answer, "repeated answer");
        return;
    }
    bytes answer;
    std::string what;
    if (mode == fault_mode::nack && function != fn_status) {
        answer = fixed(s, fn_nack);
        what = "NACK (fault)";
    } else if (function == fn_reset) {
        s.reset = true;
        s.last_fcb = 0;
        s.last_answer.clear();
        answer = config_.strict ? fixed(s, fn_ack) : bytes(1, static_cast<char>(single_ack));
        what = "reset: ACK";
    } else if (function == fn_status) {
        answer = fixed(s, fn_link_status);
        what = "link status";
    } else if (function == fn_user_data) {
        on_user_data(s, asdu);
        answer = fixed(s, fn_ack);
        what = "user data: ACK";
    } else if (function == fn_class1 && !s.class1.empty()) {
        bytes data = s.class1.front();
        s.class1.pop_front();
        answer = variable(s, data);
        what = "class 1 data";
    } else if (function == fn_class1 || function == fn_class2) {
        if (config_.strict) {
            answer = fixed(s, fn_no_data);
            what = "no data";
        } else if (!s.class1.empty()) {
            answer = fixed(s, fn_ack);
            what = "ACK, class 1 waits";
        } else {
            answer = bytes(1, static_cast<char>(single_ack));
            what = "no data";
        }
    } else {
        what = "function " + std::to_string(function) + " not served";
        say(what);
        return;
    }
    if (counted) {
        s.last_fcb = frame_bit;
        s.last_answer = answer;
    }
    send(s, answer, what);
}

void serial_station::on_user_data(station& s, const bytes& asdu) {
    if (asdu.size() < 6) {
        say("ASDU too short, ignored");
        return;
    }
    const auto type = octet(asdu, 0);
    const auto cause = octet(asdu, 2);
    const auto ca = octet(asdu, 3);
    bytes reply = asdu;
    if (ca != s.config.common_address && ca != 255) {
        reply[2] = static_cast<char>(cot_unknown_address | cot_negative);
    } else if (type != type_interrogation && type != type_clock_sync) {
        reply[2] = static_cast<char>(cot_unknown_type | cot_negative);
    } else if (cause != cot_activation) {
        reply[2] = static_cast<char>(cot_unknown_cause | cot_negative);
    } else {
        reply[2] = static_cast<char>(cot_act_con);
        reply[3] = static_cast<char>(s.config.common_address);
        s.class1.push_back(reply);
        if (type == type_clock_sync) {
            say("clock synchronisation");
            return;
        }
        say("station interrogation");
        // Interrogated objects go without time tags, as the standard asks.
        queue_objects(s, interrogation_objects(s.config.objects), cot_interrogated);
        reply[2] = static_cast<char>(cot_act_term);
    }
    s.class1.push_back(reply);
}

void serial_station::queue_objects(station& s, const std::vector<info_object>& objects,
                                   std::uint8_t cause) {
    for (const bytes& part :
         object_asdus(objects, cause, s.config.common_address, config_.asdu_max, config_.form))
        s.class1.push_back(part);
}

void serial_station::send(station& s, bytes answer, const std::string& what) {
    const fault_mode mode = s.current_fault.mode;
    if (mode == fault_mode::bad_crc && answer.size() > 1)
        answer[answer.size() - 2] = static_cast<char>(octet(answer, answer.size() - 2) + 1);
    if (mode == fault_mode::noise)
        answer = bytes("\x00\x55", 2) + answer;
    say("send " + hex(answer) + " " + what);
    std::size_t done = 0;
    while (done < answer.size()) {
        ssize_t n = ::write(fd_, answer.data() + done, answer.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                break;
        } else {
            break;
        }
    }
}

void serial_station::set_fault(const fault& f, int address) {
    for (station& s : stations_)
        if (address < 0 || s.config.address == address)
            s.current_fault = f;
}

void serial_station::change(int count) {
    std::vector<std::pair<station*, info_object*>> all;
    for (station& s : stations_)
        for (info_object& object : s.config.objects)
            all.emplace_back(&s, &object);
    if (all.empty())
        return;
    for (int k = 0; k < count; ++k) {
        auto [s, object] = all[next_to_change_ % all.size()];
        ++next_to_change_;
        object->value = changed_value(object->type, object->value);
        object->time = cp56_now();
        say("change " + std::to_string(s->config.address) + "/" + std::to_string(object->ioa) +
            "=" + value_text(object->value));
        queue_objects(*s, {*object}, cot_spontaneous);
    }
}

void serial_station::send_asdu(const bytes& asdu) {
    for (station& s : stations_)
        s.class1.push_back(asdu);
}

bool serial_station::set(int ioa, double value, int quality) {
    bool any = false;
    for (station& s : stations_) {
        std::vector<info_object> changed;
        for (info_object& object : s.config.objects) {
            if (object.ioa != ioa || !value_fits(object.type, value))
                continue;
            object.value = value;
            if (quality >= 0)
                object.quality = quality;
            object.time = cp56_now();
            changed.push_back(object);
        }
        if (!changed.empty()) {
            queue_objects(s, changed, cot_spontaneous);
            any = true;
        }
    }
    return any;
}

void serial_station::on_time(clock::time_point now) {
    if (config_.period_ms <= 0 || now < next_change_)
        return;
    change(config_.burst);
    auto period = std::chrono::milliseconds(config_.period_ms);
    next_change_ += period;
    if (next_change_ <= now)
        next_change_ = now + period;
}

} // namespace nxkit::kp_sim
