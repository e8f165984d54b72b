// The write's packets, finding the controller, and the refusals that happen before anything
// goes to the controller.

#include "base/nx_exception.h"
#include "base/prompt.h"
#include "interlock/controller_transfer.h"
#include "platform/tcp_socket.h"
#include "tests/interlock/controller_transfer_fixture.h"

#include <gtest/gtest.h>

#include <string>

using namespace nxkit;
using ilktest::failure_of;

namespace {

std::string hex(const std::string& bytes) {
    std::string out;
    char octet[4];
    for (unsigned char c : bytes) {
        std::snprintf(octet, sizeof octet, out.empty() ? "%02X" : " %02X", c);
        out += octet;
    }
    return out;
}

nx_time_fields march_fifth() {
    return time_decode(time_encode(2024, 3, 5, 14, 7, 9, 0));
}

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

} // namespace

TEST(ControllerPackets, HeaderCarriesNameTimeSizeAndCrcUpToTheFirstZero) {
    std::string content = std::string("123456789\0tail", 14);
    EXPECT_EQ(hex(controller_header("conf.ini", content, march_fifth())),
              "33 33 00 00 88 71 63 6F 6E 66 2E 69 6E 69 00 00 00 00 2C 03 05 0E 07 09 "
              "0E 00 00 00 FF FF FF FF C3 31 FF FF");
    // A Cyrillic name goes in Windows-1251; a file without zero octets is summed whole.
    EXPECT_EQ(hex(controller_header("блок.ini", "123456789", march_fifth())),
              "33 33 00 00 88 71 E1 EB EE EA 2E 69 6E 69 00 00 00 00 2C 03 05 0E 07 09 "
              "09 00 00 00 FF FF FF FF C3 31 FF FF");
    EXPECT_EQ(controller_crc(""), 0);
    EXPECT_EQ(controller_crc(std::string("\0"
                                         "123",
                                         4)),
              0);
}

TEST(ControllerPackets, BlocksAreFixedSizeWithTheirShareOfTheFile) {
    std::string content = pattern(3000);
    std::string third = controller_block(3, content);
    ASSERT_EQ(third.size(), 1460u);
    EXPECT_EQ(hex(third.substr(0, 6)), "33 33 03 00 5C 00");
    EXPECT_EQ(third.substr(6, 92), content.substr(2908));
    EXPECT_EQ(third.substr(98), std::string(1460 - 98, '\0'));

    std::string exact = pattern(1454);
    EXPECT_EQ(hex(controller_block(1, exact).substr(0, 6)), "33 33 01 00 AE 05");
    EXPECT_EQ(controller_block(1, exact).substr(6), exact);
    EXPECT_EQ(hex(controller_block(2, exact).substr(0, 6)), "33 33 02 00 00 00");
    EXPECT_EQ(hex(controller_block(1, "").substr(0, 6)), "33 33 01 00 00 00");
}

using ControllerFinding = ilktest::controller_transfer_test;

TEST_F(ControllerFinding, FirstRegisteredContactNamesTheDevice) {
    EXPECT_EQ(find_controller(*store, {{"", ""}, {"s9_9_9", ""}, {"", "s1_2_9"}}),
              "127.0.0.1:2404");
    EXPECT_EQ(find_controller(*store, columns), "127.0.0.1:2404");
}

TEST_F(ControllerFinding, NoDeviceFailsWithTheAddressMessage) {
    const std::string message = "Не найден или не задан ip-адрес контроллера.";
    EXPECT_EQ(failure_of([&] { find_controller(*store, {}); }), message);
    // contact_nc counts only when contact_no is empty.
    EXPECT_EQ(failure_of([&] { find_controller(*store, {{"s9_9_9", "s1_2_7"}}); }), message);
    try {
        transfer(*store, {{"", ""}}, local.path() + "conf.ini", true);
        ADD_FAILURE() << "no failure";
    } catch (const nx_exception_struct_to_ilk& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

// Every refusal below comes before the connection: the simulator never sees a client.
TEST_F(ControllerFinding, RefusalsComeBeforeAnythingIsSent) {
    ilktest::controller_sim_process sim({"--port", "0", "--dir", controller.path()});
    transfer_options options = quick(sim.port());

    std::string big = local.path() + "conf.ini";
    ilktest::write_bytes(big, pattern(65536));
    EXPECT_EQ(failure_of([&] { transfer(*store, columns, big, false, options); }),
              "Файл " + big +
                  " слишком велик для контроллера: 65536 байт.\r\n\r\nКонтроллер принимает "
                  "файлы не более 65535 байт. Файл не передан.");

    std::string missing = local.path() + "absent.ini";
    EXPECT_EQ(failure_of([&] { transfer(*store, columns, missing, false, options); }),
              "не удалось прочитать файл: " + missing);

    // Twelve characters pass whatever their UTF-8 length; thirteen do not.
    std::string long_name = "конфигура.ini";
    EXPECT_EQ(
        failure_of([&] { transfer(*store, columns, local.path() + long_name, true, options); }),
        long_name + " - имя файла должно быть не более 12 символов");
    EXPECT_EQ(
        failure_of([&] { transfer(*store, columns, local.path() + long_name, false, options); }),
        long_name + " - имя файла должно быть не более 12 символов");

    EXPECT_FALSE(sim.wait_line("connect", 300));
    EXPECT_TRUE(log_lines("MES").empty());
}

TEST_F(ControllerFinding, ConnectionFailureNamesTheEndpoint) {
    // A port that was free a moment ago: nobody listens there.
    tcp_socket probe;
    ASSERT_TRUE(probe.create() && probe.listen("127.0.0.1", 0, 1));
    int closed_port = probe.local_port();
    probe.close();
    EXPECT_EQ(failure_of([&] {
                  transfer(*store, columns, local.path() + "conf.ini", true, quick(closed_port));
              }),
              "не удалось создать соединение 127.0.0.1:2404");
}

TEST_F(ControllerFinding, ReportedFailureIsLoggedOnceAndShownWithTheCaption) {
    ilktest::scripted_prompt prompt;
    prompt.expect("слишком велик", answer_ok);
    prompt.expect("Не найден или не задан ip-адрес контроллера.", answer_ok);
    std::string big = local.path() + "conf.ini";
    ilktest::write_bytes(big, pattern(70000));
    const std::string caption = "Экспорт в conf.ini с загрузкой в контроллер";

    EXPECT_FALSE(write_controller_file(*store, columns, big, caption, quick(1)));
    EXPECT_FALSE(read_controller_file(*store, {}, big, caption, quick(1)));

    ASSERT_EQ(prompt.seen().size(), 2u);
    EXPECT_EQ(prompt.seen()[0].caption, caption);
    EXPECT_EQ(prompt.seen()[0].type, mb_error);
    EXPECT_NE(prompt.seen()[0].text.find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(prompt.seen()[1].caption, caption);
    EXPECT_EQ(log_lines("ERR"), (std::vector<std::string>{
                                    "Файл " + big + " слишком велик для контроллера: 70000 байт.",
                                    "Не найден или не задан ip-адрес контроллера."}));
    // The line keeps one line break where the box has an empty line.
    EXPECT_NE(log_text().find("70000 байт.\r\nКонтроллер принимает файлы не более 65535 байт. "
                              "Файл не передан.\r\n"),
              std::string::npos);
    EXPECT_EQ(ilktest::read_bytes(big).size(), 70000u);
}
