// The transfer end to end over loopback TCP against controller-sim.

#include "base/files.h"
#include "base/nx_exception.h"
#include "interlock/controller_transfer.h"
#include "platform/tcp_socket.h"
#include "tests/interlock/controller_transfer_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using namespace nxkit;
using ilktest::controller_sim_process;
using ilktest::failure_of;
using ilktest::read_bytes;
using ilktest::write_bytes;

namespace {

using steady = std::chrono::steady_clock;

std::string text_file(std::size_t size) {
    std::string bytes;
    for (int line = 0; bytes.size() < size; ++line)
        bytes += "$ILK=" + std::to_string(line) + " 3 1 4 129\r\n";
    return bytes.substr(0, size);
}

class ControllerSim : public ilktest::controller_transfer_test {
protected:
    // A simulator serving the controller folder, with these extra arguments.
    controller_sim_process& start(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{"--port",          "0", "--dir", controller.path(),
                                           "--confirm-delay", "20"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        sim = std::make_unique<controller_sim_process>(arguments);
        return *sim;
    }

    // What the simulator printed for one connection, without its "connect" line.
    std::vector<std::string> session() {
        bool found = false;
        std::vector<std::string> lines = sim->lines_until("disconnect", 3000, &found);
        EXPECT_TRUE(found) << "the connection did not end";
        if (!lines.empty() && lines.front().rfind("connect ", 0) == 0)
            lines.erase(lines.begin());
        return lines;
    }

    std::unique_ptr<controller_sim_process> sim;
};

using ControllerWrite = ControllerSim;
using ControllerRead = ControllerSim;

} // namespace

TEST_F(ControllerWrite, FilesGoInBlocksOf1454WithAnEmptyOrShortLast) {
    start();
    struct sized {
        std::string name;
        std::size_t size;
        std::vector<std::string> blocks;
    };
    const std::vector<sized> files{
        {"z0.ini", 0, {"block 1 0"}},
        {"z1454.ini", 1454, {"block 1 1454", "block 2 0"}},
        {"z3000.ini", 3000, {"block 1 1454", "block 2 1454", "block 3 92"}}};
    for (const sized& f : files) {
        SCOPED_TRACE(f.name);
        std::string path = local.path() + f.name;
        std::string content = text_file(f.size);
        write_bytes(path, content);
        transfer(*store, columns, path, false, quick(sim->port()));

        std::vector<std::string> lines = session();
        ASSERT_GE(lines.size(), 3u);
        std::vector<std::string> expected{"command 33del b",
                                          "command 33load b " + std::to_string(f.size)};
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), expected);
        // Everything up to the CRC is fixed; the simulator sums the blocks itself and stores
        // the file only when the header's CRC agrees.
        char size_hex[16];
        std::snprintf(size_hex, sizeof size_hex, "%02X %02X", static_cast<int>(f.size & 0xFF),
                      static_cast<int>(f.size >> 8));
        std::string name_hex;
        for (unsigned char c : f.name) {
            char octet[4];
            std::snprintf(octet, sizeof octet, " %02X", c);
            name_hex += octet;
        }
        for (std::size_t i = f.name.size(); i < 12; ++i)
            name_hex += " 00";
        EXPECT_EQ(lines[2].substr(0, 7 + 32 * 3 - 1), "header 33 33 00 00 88 71" + name_hex +
                                                          " 2C 03 05 0E 07 09 " + size_hex +
                                                          " 00 00 FF FF FF FF");
        EXPECT_EQ(lines[2].substr(lines[2].size() - 5), "FF FF");
        expected = f.blocks;
        expected.push_back("stored " + f.name + " " + std::to_string(f.size));
        expected.push_back("reset");
        expected.push_back("disconnect");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), expected);
        EXPECT_EQ(read_bytes(controller.path() + f.name), content);
    }

    std::vector<std::string> mes = log_lines("MES");
    std::string last = local.path() + "z3000.ini";
    std::vector<std::string> tail{"Запись в контроллер: 127.0.0.1:2404 : " + last,
                                  "33del b",
                                  "OK",
                                  "33load b 3000",
                                  "OK",
                                  "OK",
                                  "OK",
                                  "OK",
                                  "OK",
                                  "OK",
                                  "33reset"};
    ASSERT_GE(mes.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(mes.end() - static_cast<long>(tail.size()), mes.end()),
              tail);
}

TEST_F(ControllerWrite, PortComesFromTheSettingAndTheLargestFileFits) {
    start();
    settings_set_int("CONF", "CTRL_PORT", sim->port());
    struct restore {
        ~restore() { settings_set_int("CONF", "CTRL_PORT", controller_default_port); }
    } restore_port;
    transfer_options options = quick(0);
    std::string path = local.path() + "conf.ini";
    std::string content = text_file(65535);
    write_bytes(path, content);
    transfer(*store, columns, path, false, options);
    std::vector<std::string> lines = session();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "block 46 105");
    EXPECT_EQ(lines[lines.size() - 3], "stored conf.ini 65535");
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"), content);
}

namespace {

struct write_fault {
    const char* fail;
    const char* message; // "" = the write succeeds
};

} // namespace

// Each step of the write failing in each way ends the call with the answer's own text or the
// connection's message, within the receive time-out, and the controller is not reset.
TEST_F(ControllerWrite, EveryFailingStepEndsTheCallBoundedAndWithoutReset) {
    const std::vector<write_fault> faults{
        {"del:refuse", ""},
        {"load:refuse", "ERROR load\r\n"},
        {"header:refuse", "ERROR header\r\n"},
        {"block1:refuse", "ERROR block1\r\n"},
        {"block3:refuse", "ERROR block3\r\n"},
        {"final:refuse", "ERROR final\r\n"},
        {"del:silent", "истек таймаут приема 127.0.0.1"},
        {"header:silent", "истек таймаут приема 127.0.0.1"},
        {"final:silent", "истек таймаут приема 127.0.0.1"},
        {"del:close", "сервер разорвал соединение 127.0.0.1"},
        {"load:close", "сервер разорвал соединение 127.0.0.1"},
        {"block2:close", "сервер разорвал соединение 127.0.0.1"},
        {"block1:flood", "принят пакет 10000 байт"},
    };
    std::string path = local.path() + "conf.ini";
    write_bytes(path, text_file(3000));
    for (const write_fault& f : faults) {
        SCOPED_TRACE(f.fail);
        start({"--fail", f.fail});
        auto began = steady::now();
        EXPECT_EQ(failure_of([&] { transfer(*store, columns, path, false, quick(sim->port())); }),
                  f.message);
        EXPECT_LT(steady::now() - began, std::chrono::seconds(2));
        std::vector<std::string> lines = session();
        bool reset = std::find(lines.begin(), lines.end(), "reset") != lines.end();
        EXPECT_EQ(reset, std::string(f.message).empty());
    }
    // The refused answer is logged like any other.
    std::vector<std::string> mes = log_lines("MES");
    EXPECT_NE(std::find(mes.begin(), mes.end(), "ERROR block3"), mes.end());
}

TEST_F(ControllerRead, TwoLinesEndAtTheThirdAnswer) {
    start();
    write_bytes(controller.path() + "conf.ini", ".MEK=1 1   \r\n$ILK=5 1 0 0 0 3 1\n");
    std::string path = local.path() + "conf.ini";
    write_bytes(path, "old\r\n");
    transfer(*store, columns, path, true, quick(sim->port()));
    EXPECT_EQ(read_bytes(path), ".MEK=1 1\r\n$ILK=5 1 0 0 0 3 1\r\n");
    EXPECT_EQ(session(), (std::vector<std::string>{"request 1980", "request 1981", "request 1981",
                                                   "disconnect"}));
    EXPECT_EQ(log_lines("MES"),
              std::vector<std::string>{"Чтение из контроллера 127.0.0.1:2404 : " + path});
}

TEST_F(ControllerRead, FailuresLeaveTheLocalFileAlone) {
    struct read_fault {
        std::vector<std::string> arguments;
        std::string controller_file; // "-" = none
        std::string message;
    };
    const std::vector<read_fault> faults{
        {{}, "-", "В контроллере нет файла конфигурации."},
        {{"--fail", "read2:refuse"}, "a\r\nb\r\n", "В контроллере нет файла конфигурации."},
        {{}, "", "Не удалось прочитать файл конфигурации."},
        {{"--fail", "read1:silent"}, "a\r\n", "истек таймаут приема 127.0.0.1"},
        {{"--fail", "read2:close"}, "a\r\nb\r\n", "сервер разорвал соединение 127.0.0.1"},
        {{"--fail", "read1:flood"}, "a\r\n", "принят пакет 10000 байт"},
    };
    std::string path = local.path() + "conf.ini";
    write_bytes(path, "kept\r\n");
    for (const read_fault& f : faults) {
        SCOPED_TRACE(f.message);
        std::remove((controller.path() + "conf.ini").c_str());
        if (f.controller_file != "-")
            write_bytes(controller.path() + "conf.ini", f.controller_file);
        start(f.arguments);
        auto began = steady::now();
        EXPECT_EQ(failure_of([&] { transfer(*store, columns, path, true, quick(sim->port())); }),
                  f.message);
        EXPECT_LT(steady::now() - began, std::chrono::seconds(2));
        EXPECT_EQ(read_bytes(path), "kept\r\n");
    }
}

namespace {

// A client that speaks the write by hand, to make the simulator check what it received.
class hand_client {
public:
    explicit hand_client(int port) {
        EXPECT_TRUE(socket_.create() &&
                    socket_.connect("127.0.0.1", port, 2000, nullptr) == wait_result::ready);
    }
    std::string exchange(const std::string& bytes) {
        EXPECT_EQ(socket_.send_all(bytes.data(), bytes.size(), 2000, nullptr), bytes.size());
        return answer();
    }
    std::string answer() {
        if (socket_.wait_readable(2000, nullptr) != wait_result::ready)
            return "(none)";
        char buffer[100];
        long n = socket_.receive(buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "(closed)";
    }

private:
    tcp_socket socket_;
};

} // namespace

TEST_F(ControllerSim, SimulatorRefusesAHeaderThatDoesNotMatchTheBlocks) {
    start();
    nx_time_fields now = time_decode(time_encode(2024, 3, 5, 14, 7, 9, 0));
    std::string header = controller_header("bad.ini", "hello", now);
    {
        hand_client client(sim->port());
        EXPECT_EQ(client.exchange("33load b 5\r"), "OK\r\n");
        header[32] = static_cast<char>(header[32] ^ 1);
        EXPECT_EQ(client.exchange(header), "OK\r\n");
        EXPECT_EQ(client.exchange(controller_block(1, "hello")), "OK\r\n");
        EXPECT_EQ(client.answer(), "ERROR crc\r\n");
    }
    {
        hand_client client(sim->port());
        EXPECT_EQ(client.exchange("33load b 5\r"), "OK\r\n");
        EXPECT_EQ(client.exchange(controller_header("bad.ini", "hello", now)), "OK\r\n");
        EXPECT_EQ(client.exchange(controller_block(1, "hel")), "OK\r\n");
        EXPECT_EQ(client.answer(), "ERROR size\r\n");
    }
    {
        hand_client client(sim->port());
        EXPECT_EQ(client.exchange("33load b 6\r"), "OK\r\n");
        EXPECT_EQ(client.exchange(controller_header("bad.ini", "hello", now)), "ERROR header\r\n");
    }
    EXPECT_FALSE(file_exists(controller.path() + "bad.ini"));
}

TEST_F(ControllerRead, OnlyWholeReplyLinesEndTheRead) {
    start();
    const std::string file =
        ".MEK=1 1\r\nAPPENDIX\r\nSEND_PERIOD=5\r\nERRORS=0\r\n END \r\nlast\r\n";
    write_bytes(controller.path() + "conf.ini", file);
    std::string path = local.path() + "conf.ini";
    transfer(*store, columns, path, true, quick(sim->port()));
    // A line that is "END" and nothing else is the protocol's own; every other line is content.
    EXPECT_EQ(read_bytes(path), ".MEK=1 1\r\nAPPENDIX\r\nSEND_PERIOD=5\r\nERRORS=0\r\n");
    EXPECT_TRUE(reply_says("END\r\n", "END"));
    EXPECT_TRUE(reply_says("ERROR\r\nEND\r\n", "ERROR"));
    EXPECT_FALSE(reply_says("NOK\r\n", "OK"));
    EXPECT_FALSE(reply_says("OK?", "OK"));
    EXPECT_FALSE(reply_says("", "OK"));
}

TEST_F(ControllerRead, AFileWithoutMekNeverReplacesTheLocalCopy) {
    start();
    write_bytes(controller.path() + "conf.ini", "[A]\r\nMEK=1 1\r\n");
    std::string path = local.path() + "conf.ini";
    write_bytes(path, ".MEK=1 1\r\nkept\r\n");
    EXPECT_EQ(failure_of([&] { transfer(*store, columns, path, true, quick(sim->port())); }),
              "В файле конфигурации из контроллера нет строки .MEK=.\r\n\r\nЛокальный файл " +
                  path + " не заменён.");
    EXPECT_EQ(read_bytes(path), ".MEK=1 1\r\nkept\r\n");
}

TEST_F(ControllerWrite, NokIsNoOk) {
    for (const char* step : {"load", "header", "block1", "final"}) {
        SCOPED_TRACE(step);
        start({"--fail", std::string(step) + ":nok"});
        std::string path = local.path() + "conf.ini";
        write_bytes(path, ".MEK=1 1\r\n");
        EXPECT_EQ(failure_of([&] { transfer(*store, columns, path, false, quick(sim->port())); }),
                  "NOK\r\n");
        std::vector<std::string> lines = session();
        EXPECT_EQ(std::find(lines.begin(), lines.end(), "reset"), lines.end());
    }
}
