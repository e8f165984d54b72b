#include "base/cp1251.h"
#include "platform/serial_port.h"
#include "platform/stop_event.h"
#include "telemech/nx_m101_act.h"
#include "tests/support/test_support.h"
#include "tests/telemech/tm_test_sink.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <thread>
#include <unistd.h>

using namespace nxkit;

namespace {

using steady = std::chrono::steady_clock;

// A pseudo-terminal pair: the test writes at the master, the port opens the other end.
struct pty_pair {
    int master = -1;
    std::string name;
    pty_pair() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            name = ::ptsname(master);
    }
    ~pty_pair() { ::close(master); }
    void put(const std::string& bytes) const {
        EXPECT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

long ms_since(steady::time_point t) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - t).count());
}

} // namespace

TEST(SerialPort, ExclusiveOpenAndLineSettings) {
    pty_pair pty;
    ASSERT_FALSE(pty.name.empty());
    serial_port port;
    ASSERT_TRUE(port.open(pty.name));
    serial_port second;
    // The superuser passes TIOCEXCL; everybody else is kept out.
    if (::geteuid() != 0) {
        EXPECT_FALSE(second.open(pty.name));
        EXPECT_EQ(second.error(), EBUSY);
    }

    serial_line line;
    line.baud = 19200;
    line.data_bits = 7;
    line.parity = 0;
    line.stop_bits = 2;
    ASSERT_TRUE(port.set_line(line));
    serial_line read_back;
    ASSERT_TRUE(port.get_line(read_back));
    // A pseudo-terminal keeps its own character size and parity; rate and stop bits stick.
    EXPECT_EQ(read_back.baud, 19200);
    EXPECT_EQ(read_back.stop_bits, 2);

    line.stop_bits = 1; // one and a half: termios has none
    EXPECT_FALSE(port.set_line(line));
    EXPECT_EQ(port.error(), EINVAL);
    line.stop_bits = 0;
    line.baud = 12345;
    EXPECT_FALSE(port.set_line(line));

    port.close();
    second.close();
    EXPECT_TRUE(second.open(pty.name)) << "closing gives the line free";
}

TEST(SerialPort, ReadTimeoutsAndStop) {
    pty_pair pty;
    serial_port port;
    ASSERT_TRUE(port.open(pty.name));
    ASSERT_TRUE(port.set_line(serial_line{}));
    port.set_timeouts({5, 0, 60, 0, 0});
    std::uint8_t buffer[16];
    std::size_t got = 0;

    // Nothing comes: the constant part of the total time-out ends the read.
    auto t = steady::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, got, -1, nullptr), wait_result::timed_out);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ms_since(t), 55);
    EXPECT_LT(ms_since(t), 1000);

    // What is there comes at once, the pause behind it ends the read.
    pty.put("\x10\x0B\x05");
    EXPECT_EQ(port.read(buffer, sizeof buffer, got, -1, nullptr), wait_result::ready);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "\x10\x0B\x05");

    // A cap shorter than the time-outs wins, also over time-outs too large to add up; a stop
    // ends the wait at once.
    const int huge = std::numeric_limits<int>::max();
    port.set_timeouts({0, huge, huge, huge, huge});
    t = steady::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, got, 30, nullptr), wait_result::timed_out);
    EXPECT_LT(ms_since(t), 1000);
    port.set_timeouts({0, 0, 0, 0, 0});
    t = steady::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, got, 30, nullptr), wait_result::timed_out);
    EXPECT_LT(ms_since(t), 1000);
    stop_event stop;
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop.signal();
    });
    t = steady::now();
    EXPECT_EQ(port.read(buffer, sizeof buffer, got, -1, &stop), wait_result::stopped);
    later.join();
    EXPECT_LT(ms_since(t), 1000);

    std::size_t written = 0;
    EXPECT_EQ(port.write("\x10\x49\x05\x4E\x16", 5, written, 1000, nullptr), wait_result::ready);
    EXPECT_EQ(written, 5u);
    char echo[8] = {};
    EXPECT_EQ(::read(pty.master, echo, sizeof echo), 5);
}

TEST(SerialWorker, OneAndAHalfStopBitsCannotBeSetAndAreReported) {
    pty_pair pty;
    ilktest::temp_dir dir;
    ilktest::recording_sink sink;
    nx_m101_settings settings;
    settings.port_number = 3;
    settings.device = pty.name;
    settings.line.stop_bits = 1;
    nx_m101_act act;
    nx_log quiet;
    ASSERT_TRUE(act.start(settings, {{7, &sink}}, dir.path() + "com.log", 100000, quiet));
    // Until the worker has tried, however busy the machine is.
    const std::string refused = to_cp1251("ERR | не удалось установить состояние порта ");
    for (auto until = steady::now() + std::chrono::seconds(20);
         ilktest::read_bytes(dir.path() + "com.log").find(refused) == std::string::npos &&
         steady::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(act.stop());
    const std::string log = ilktest::read_bytes(dir.path() + "com.log");
    EXPECT_NE(log.find(to_cp1251("MES | COM3, 9600 бод, 8 бит, стоп бит 1.5, паритет Четный")),
              std::string::npos);
    EXPECT_NE(log.find(to_cp1251("ERR | не удалось установить состояние порта " + pty.name +
                                 ". GetLastError: 16 (22) ")),
              std::string::npos)
        << log;
    EXPECT_FALSE(sink.calls.empty());
    EXPECT_EQ(sink.calls.front(), "down");
    EXPECT_EQ(nx_m101_act::link_key(10) < nx_m101_act::link_key(2), true);
}
