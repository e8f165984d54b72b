// What the export must never do to a controller's file: write a value the line cannot carry,
// empty the block unasked, lose what follows a mention of "$ILK=", or go to another controller.

#include "base/files.h"
#include "base/nx_exception.h"
#include "base/settings.h"
#include "config/ref_editing.h"
#include "interlock/export_interlock.h"
#include "tests/interlock/interlock_fixture.h"

#include <filesystem>

#ifdef CONTROLLER_SIM_BINARY
#include "tests/interlock/controller_sim_process.h"
#endif

using namespace nxkit;
using namespace ilktest;
using namespace ilktest::ilk_xml;

namespace {

const char* const caption = "Экспорт в conf.ini";
const char* const with_controller = "Экспорт в conf.ini с загрузкой в контроллер";

// Controller "КП" (127.0.0.1) with single points 101, 102, 103 feeding Q1, QS1 нр, QS1 нз;
// controller "КП2" (127.0.0.3, where nothing listens) feeds s1_2_8.
class ExportSafety : public interlock_test {
protected:
    void SetUp() override {
        settings_set_int("CONF", "ILKK", 0);
        std::filesystem::remove_all(export_folder());
    }

    void load_table(const std::string& columns, const std::string& rows) {
        std::string other = "<ref tp=\"104\" addr=\"6\" title=\"КП2\" con=\"127.0.0.3:2404\">\r\n" +
                            object(51, 108, 8) + "</ref>\r\n";
        load(device("КП", object(51, 101, 1) + object(51, 102, 2) + object(51, 103, 3)) + other,
             signal(1, "Q1") + signal(2, "QS1") + signal(3, "QS1") + signal(8, "Чужой"),
             interlock_xml(columns, rows, {}, " conf=\"conf.ini\""));
    }

    static std::string file_path() { return export_folder() + "conf.ini"; }

    static void write_file(const std::string& text) {
        export_folder();
        write_bytes(file_path(), to_cp1251(text));
    }

    static std::string file_text() { return from_cp1251(read_bytes(file_path())); }

    std::string path_of(const std::string& key) { return store->find(key).full_path_text(); }

    // The export without controller fails with a message that begins with `start` and leaves
    // the file as it was; returns the message.
    std::string refused(const std::string& start) {
        const std::string before = "[A]\r\n.MEK=100 200\r\n$ILK=9 0 0 0 0\r\n";
        write_file(before);
        scripted_prompt prompt;
        prompt.expect(start, answer_ok);
        EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
        EXPECT_EQ(file_text(), before);
        return prompt.seen().empty() ? std::string() : prompt.seen().back().text;
    }
};

const std::string columns = column_xml(1, "s1_2_2", "s1_2_3");
const std::string usual_row =
    row_xml(" tu=\"1\" tm_on=\"5\" ts=\"s1_2_1\"", condition_xml(0, permission_xml(1, true)));

} // namespace

TEST_F(ExportSafety, TheBlockStartsAtALineThatBeginsWithIt) {
    load_table(columns, usual_row);
    write_file("[A]\r\n; блок $ILK= стоит в конце\r\n.MEK=100 200\r\nX=$ILKK=1\r\nY=2\r\n"
               "$ILK=9 0 0 0 0\r\n");
    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(file_text(), "[A]\r\n; блок $ILK= стоит в конце\r\n.MEK=100 200\r\nX=$ILKK=1\r\n"
                           "Y=2\r\n$ILK=1 2 5 0 0 3 1 4 129\r\n");
}

TEST_F(ExportSafety, NumbersTheLineCannotCarryAreRefused) {
    // A number loaded from the file as it stands.
    load_table(columns, row_xml(" tu=\"70000\" tm_on=\"5\" ts=\"s1_2_1\"",
                                condition_xml(0, permission_xml(1, true))));
    EXPECT_EQ(refused("Значение 70000"),
              "Значение 70000 параметра \"№ ТУ разрешения\" не помещается в строку $ILK= "
              "(допустимо от 0 до 65535) у компонента:\r\n\r\n" +
                  path_of(row_key(0)) + ".");
    load_table(columns, row_xml(" tu=\"1\" tm_on=\"65536\" ts=\"s1_2_1\"",
                                condition_xml(0, permission_xml(1, true))));
    EXPECT_NE(refused("Значение 65536").find("\"Таймаут t1,с\""), std::string::npos);

    // An index before the list's base: address 102 with .MEK=103 gives 0, 101 gives -1.
    load_table(columns, usual_row);
    const std::string before = "[A]\r\n.MEK=103 200\r\n";
    write_file(before);
    scripted_prompt prompt;
    prompt.expect("Сигнал s1_2_2 (адрес 102)", answer_ok);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    ASSERT_FALSE(prompt.seen().empty());
    EXPECT_EQ(prompt.seen().back().text,
              "Сигнал s1_2_2 (адрес 102) получает в файле индекс 0, а допустимы индексы от 1 до "
              "65535 (строка .MEK=103 200).\r\n\r\nНеобходимо выбрать другой сигнал для "
              "компонента:\r\n" +
                  path_of(permission_key(0, 0, 0)) + ".");
    EXPECT_EQ(file_text(), before);
}

TEST_F(ExportSafety, TheEditorRefusesNumbersOutOfRange) {
    load_table(columns, usual_row);
    t_ilk_tu& r = row(0);
    for (int index : {1, 6, 7}) {
        SCOPED_TRACE(index);
        for (const char* bad : {"70000", "65536", "-1", "12a", "1e3"})
            EXPECT_THROW(r.set_parameter(index, bad), nx_exception_ref_init) << bad;
        EXPECT_TRUE(r.set_parameter(index, "65535"));
        std::string value, name;
        r.get_parameter(index, value, name);
        EXPECT_EQ(value, "65535");
        EXPECT_TRUE(r.set_parameter(index, " "));
        r.get_parameter(index, value, name);
        EXPECT_EQ(value, "");
    }
    try {
        r.set_parameter(1, "70000");
    } catch (const nx_exception& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Значение \"70000\" параметра \"№ ТУ разрешения\" компонента " +
                      path_of(row_key(0)) + " не принято: нужно целое число от 0 до 65535.");
    }
    // Through the editor's entry point the value is refused and the row keeps its number.
    r.set_parameter(1, "7");
    scripted_prompt prompt;
    prompt.expect("не принято", answer_ok);
    repeat_value(*store, row_key(0), 1, "70000", 0, 0);
    EXPECT_EQ(row(0).permission_tu_number(), 7);
}

TEST_F(ExportSafety, AnExportWithoutLinesAsksBeforeEmptyingTheBlock) {
    load_table(columns, row_xml(" tu=\"1\" tm_on=\"5\" ts=\"s1_2_1\" lock=\"1\"",
                                condition_xml(0, permission_xml(1, true))));
    const std::string before = "[A]\r\n.MEK=100 200\r\n$ILK=9 1 0 0 0 3 1\r\n";
    write_file(before);
    scripted_prompt prompt;
    prompt.expect("строк блокировки нет", answer_no);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text, "В таблице блокировки:\r\n" + path_of(root_key) +
                                         "\r\n\r\nстрок блокировки нет: очистить блок в "
                                         "файле?\r\n" +
                                         file_path());
    EXPECT_EQ(prompt.seen()[0].type, mb_question);
    EXPECT_EQ(file_text(), before);

    // Said yes to, the block goes and no empty line is left behind: CR LF once per line.
    prompt.expect("строк блокировки нет", answer_yes);
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    EXPECT_TRUE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(file_text(), "[A]\r\n.MEK=100 200\r\n");
}

TEST_F(ExportSafety, LineEndsAreExactlyCrLf) {
    load_table(columns, usual_row);
    write_file("[A]\r.MEK=100 200\n\nB\r\n\r\n\n");
    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, caption, false));
    // The file's own empty line stays; the trailing ones go; nothing else is added.
    EXPECT_EQ(file_text(), "[A]\r\n.MEK=100 200\r\n\r\nB\r\n$ILK=1 2 5 0 0 3 1 4 129\r\n");
}

#ifdef CONTROLLER_SIM_BINARY
TEST_F(ExportSafety, TheFileGoesToTheControllerOfTheUsedSignals) {
    // The first column is fed by КП2 but no permission uses it.
    load_table(
        column_xml(5, "s1_2_8", "") + columns,
        row_xml(" tu=\"1\" tm_on=\"5\" ts=\"s1_2_1\"", condition_xml(0, permission_xml(1, true))));
    temp_dir controller;
    write_bytes(controller.path() + "conf.ini",
                to_cp1251("[X]\r\n; $ILK= в комментарии\r\n.MEK=100 200\r\n$ILK=9 0 0 0 0\r\n"));
    controller_sim_process sim({"--port", "0", "--dir", controller.path()});
    transfer_options options;
    options.port = sim.port();
    options.receive_timeout_ms = 2000;
    options.read_answer_timeout_ms = 2000;

    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, with_controller, true, options));
    const std::string exported = "[X]\r\n; $ILK= в комментарии\r\n.MEK=100 200\r\n"
                                 "$ILK=1 2 5 0 0 3 1 4 129\r\n";
    EXPECT_EQ(read_bytes(file_path()), to_cp1251(exported));
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"), to_cp1251(exported));
    bool found = false;
    sim.lines_until("reset", 3000, &found);
    EXPECT_TRUE(found);

    // A used signal of the other controller: refused before anything is fetched or sent.
    load_table(column_xml(5, "s1_2_8", "") + columns,
               row_xml(" tu=\"1\" tm_on=\"5\" ts=\"s1_2_1\"",
                       condition_xml(0, permission_xml(1, true) + permission_xml(5, true))));
    std::remove(file_path().c_str());
    prompt.expect("Сигнал s1_2_8 принадлежит:", answer_ok);
    EXPECT_FALSE(export_interlock(*store, root_key, with_controller, true, options));
    EXPECT_FALSE(file_exists(file_path()));
    found = false;
    sim.lines_until("connect", 300, &found);
    EXPECT_FALSE(found) << "the controller was contacted";
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"), to_cp1251(exported));
}
#endif
