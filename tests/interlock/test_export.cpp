#include "base/settings.h"
#include "interlock/export_interlock.h"
#include "interlock/ilk_table_edits.h"
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

// Controller "КП" with .MEK=100 200: single points 101..107 feed Q1, QS1 нр, QS1 нз, -, ready,
// telecontrol on, telecontrol off; the double point 201 feeds QS2. Another controller "КП2"
// feeds s1_2_8; s1_2_9 is fed by nothing.
class export_test : public interlock_test {
protected:
    void SetUp() override {
        settings_set_int("CONF", "ILKK", 0);
        std::filesystem::remove_all(export_folder());
    }

    void load_table(const std::string& columns, const std::string& rows,
                    const std::string& root_attributes = " conf=\"conf.ini\"") {
        std::string objects = object(51, 101, 1) + object(51, 102, 2) + object(51, 103, 3) +
                              object(52, 201, 4) + object(51, 105, 5) + object(51, 106, 6) +
                              object(51, 107, 7);
        load(device("КП", objects) + device("КП2", object(51, 108, 8)),
             signal(1, "Q1") + signal(2, "QS1") + signal(3, "QS1") + signal(4, "QS2") +
                 signal(5, "Готов") + signal(6, "ТУ вкл") + signal(7, "ТУ откл") +
                 signal(8, "Чужой") + signal(9, "Ничей"),
             interlock_xml(columns, rows, {}, root_attributes));
    }

    static std::string file_path() { return export_folder() + "conf.ini"; }

    static void write_file(const std::string& text) {
        export_folder();
        write_bytes(file_path(), to_cp1251(text));
    }

    static std::string file_text() { return from_cp1251(read_bytes(file_path())); }

    // Runs the export without controller, confirming the final question.
    bool run(scripted_prompt& prompt) {
        prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
        return export_interlock(*store, root_key, caption, false);
    }

    // The export fails with `message` (shown with the caption and logged with single line
    // breaks) and leaves the file as it was.
    void expect_failure(const std::string& message) {
        const std::string before = "[A]\r\n.MEK=100 200\r\n$ILK=9 0 0 0 0\r\n";
        write_file(before);
        scripted_prompt prompt;
        prompt.expect(message, answer_ok);
        EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
        ASSERT_EQ(prompt.seen().size(), 1u);
        EXPECT_EQ(prompt.seen()[0].text, message);
        EXPECT_EQ(prompt.seen()[0].caption, caption);
        EXPECT_EQ(prompt.seen()[0].type, mb_error);
        std::string line = message;
        for (std::size_t at = 0; (at = line.find("\r\n\r\n", at)) != std::string::npos; at += 2)
            line.erase(at, 2);
        EXPECT_NE(log_text().find(" | ERR | " + line), std::string::npos) << log_text();
        EXPECT_EQ(file_text(), before);
    }

    std::string path_of(const std::string& key) { return store->find(key).full_path_text(); }
};

using ExportFile = export_test;
using ExportLines = export_test;
using ExportFailures = export_test;

// Columns: 1 QS1 with both contacts, 2 QS2 (double point, нр only), 3 Q1 (the row's own).
const std::string usual_columns =
    column_xml(1, "s1_2_2", "s1_2_3") + column_xml(2, "s1_2_4", "") + column_xml(3, "s1_2_1", "");
const std::string remote_row = " tu=\"3\" ts=\"s1_2_1\" dop=\"s1_2_5\" tu_on=\"s1_2_6\" "
                               "tu_of=\"s1_2_7\" tm_of=\"20\"";

TEST_F(ExportFile, BlockIsReplacedAndLineEndsBecomeCrLf) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, false))));
    // LF-only line ends, an old block with its count line.
    write_file("[CONF]\n.MEK=100 200\nНазвание=ПС\n\n$ILKK=1\n$ILK=7 0 0 0 0\n");
    scripted_prompt prompt;
    ASSERT_TRUE(run(prompt));
    EXPECT_EQ(prompt.seen()[0].text, "Экспортировать конфигурацию блокировки:\r\nСхемы / "
                                     "Блокировка\r\n\r\nв файл:\r\n" +
                                         file_path() + " ?");
    EXPECT_EQ(prompt.seen()[0].caption, caption);
    EXPECT_EQ(read_bytes(file_path()),
              to_cp1251("[CONF]\r\n.MEK=100 200\r\nНазвание=ПС\r\n$ILK=1 2 5 0 0 3 129 4 1\r\n"));

    // Without a block everything stays, and the count line comes with the setting.
    settings_set_int("CONF", "ILKK", 1);
    write_file("A\r\n.MEK=100 200\r\nB\r\r\n");
    ASSERT_TRUE(run(prompt));
    EXPECT_EQ(file_text(), "A\r\n.MEK=100 200\r\nB\r\n$ILKK=1\r\n$ILK=1 2 5 0 0 3 129 4 1\r\n");
}

// A controller file ending its lines with LF CR has one line end per pair, not two: no empty
// line appears after every line, and an empty line of its own stays one empty line.
TEST_F(ExportFile, LfCrIsOneLineEnd) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, false))));
    write_file("[CONF]\n\r.MEK=100 200\n\rA=1\n\r\n\rB=2\n\r$ILK=7 0 0 0 0\n\r");
    scripted_prompt prompt;
    ASSERT_TRUE(run(prompt));
    EXPECT_EQ(file_text(),
              "[CONF]\r\n.MEK=100 200\r\nA=1\r\n\r\nB=2\r\n$ILK=1 2 5 0 0 3 129 4 1\r\n");
    EXPECT_EQ(line_end_length("a\n\rb", 1), 2u);
    EXPECT_EQ(line_end_length("a\r\nb", 1), 2u);
    EXPECT_EQ(line_end_length("a\n\nb", 1), 1u);
    EXPECT_EQ(line_end_length("a\r\rb", 1), 1u);
    EXPECT_EQ(line_end_length("a\n", 0), 0u);
}

// A permission made on the table display waits for the store's rebuild: the export does it.
TEST_F(ExportFile, WaitingTableEditsAreRebuiltFirst) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, false))));
    write_file("[CONF]\r\n.MEK=100 200\r\n");
    note_table_edit(*store);
    scripted_prompt prompt;
    ASSERT_TRUE(run(prompt));
    EXPECT_FALSE(table_edits_pending(*store));
    EXPECT_EQ(file_text(), "[CONF]\r\n.MEK=100 200\r\n$ILK=1 2 5 0 0 3 129 4 1\r\n");
}

TEST_F(ExportLines, RemoteConditionsOfNoDirectionGiveTwoLinesEachOrderedByNumber) {
    load_table(usual_columns,
               row_xml(remote_row, condition_xml(1, permission_xml(1, true)) +
                                       condition_xml(1, permission_xml(2, false))) +
                   row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, false))) +
                   row_xml(" tu=\"2\" tm_on=\"5\" tm_of=\"9\"",
                           condition_xml(2, permission_xml(2, true))));
    write_file(".MEK=100 200\r\n");
    scripted_prompt prompt;
    ASSERT_TRUE(run(prompt));
    EXPECT_EQ(file_text(), ".MEK=100 200\r\n"
                           "$ILK=1 2 5 0 0 3 129 4 1\r\n"
                           "$ILK=2 1 0 0 0 2 2\r\n"
                           "$ILK=3 3 7 1 0 20 6 3 1 4 129\r\n"
                           "$ILK=3 3 8 1 0 20 6 3 1 4 129\r\n"
                           "$ILK=3 2 7 1 0 20 6 2 130\r\n"
                           "$ILK=3 2 8 1 0 20 6 2 130\r\n");
}

TEST_F(ExportLines, DirectionPicksOneTelecontrolSignalOrTheOtherInverted) {
    // Permissions on the row's own apparatus: on required = a condition for switching off.
    load_table(usual_columns,
               row_xml(remote_row, condition_xml(1, permission_xml(3, true)) +
                                       condition_xml(1, permission_xml(3, false))) +
                   row_xml(" tu=\"4\" ts=\"s1_2_1\" dop=\"s1_2_5\" tu_of=\"s1_2_7\" tm_of=\"20\"",
                           condition_xml(1, permission_xml(3, false))));
    ASSERT_EQ(condition(0, 0).direction(), t_ilk_or::direction_off);
    ASSERT_EQ(condition(0, 1).direction(), t_ilk_or::direction_on);
    write_file(".MEK=100 200\r\n");
    scripted_prompt prompt;
    ASSERT_TRUE(run(prompt));
    EXPECT_EQ(file_text(), ".MEK=100 200\r\n"
                           "$ILK=3 2 8 1 0 20 6 2 1\r\n"
                           "$ILK=3 2 7 1 0 20 6 2 129\r\n"
                           "$ILK=4 2 8 129 0 20 6 2 129\r\n");

    // A locked permission on the row's own apparatus is left out of the line, yet its
    // condition stays one for switching off.
    load_table(
        usual_columns,
        row_xml(remote_row, condition_xml(1, "<ref tp=\"73\" uid=\"3\" on=\"1\" lock=\"1\"/>\r\n" +
                                                 permission_xml(1, true))));
    write_file(".MEK=100 200\r\n");
    ASSERT_TRUE(run(prompt));
    EXPECT_EQ(file_text(), ".MEK=100 200\r\n$ILK=3 3 8 1 0 20 6 3 1 4 129\r\n");
}

TEST_F(ExportLines, LocalConditionCarriesAnEmptyTelecontrolPairBesideARemoteOne) {
    load_table(usual_columns, row_xml(remote_row, condition_xml(0, permission_xml(1, true)) +
                                                      condition_xml(1, permission_xml(3, true))));
    write_file(".MEK=1 1\r\n");
    scripted_prompt prompt;
    ASSERT_TRUE(run(prompt));
    // With .MEK=1 1 the indexes are the addresses.
    EXPECT_EQ(file_text(), ".MEK=1 1\r\n"
                           "$ILK=3 3 0 0 0 20 105 102 1 103 129\r\n"
                           "$ILK=3 2 107 1 0 20 105 101 1\r\n");
}

TEST_F(ExportFailures, SignalsMustBeBoundToOneController) {
    load_table(usual_columns + column_xml(4, "s1_2_9", "") + column_xml(5, "s1_2_8", ""),
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(4, true))));
    expect_failure("Сигнал s1_2_9 не привязан к контроллеру.\r\n\r\nНеобходимо выбрать другой "
                   "сигнал для компонента:\r\n" +
                   path_of(permission_key(0, 0, 0)) + ".");

    load_table(usual_columns + column_xml(4, "s1_2_9", "") + column_xml(5, "s1_2_8", ""),
               row_xml(" tu=\"1\" tm_on=\"5\" ts=\"s1_2_1\"",
                       condition_xml(0, permission_xml(1, true) + permission_xml(5, true))));
    EXPECT_EQ(path_of(permission_key(0, 0, 1)),
              "Схемы / Блокировка / T1 - Таблица блокировки / Строки / Q1 / Условие коммутации "
              "- Местное / Чужой");
    expect_failure("Сигнал s1_2_8 принадлежит:\r\n" + path_of("D.0001.0000") +
                   ".\r\n\r\nСигналы для этой блокировки нужно брать из:\r\n" + path_of("D.0000") +
                   ".\r\n\r\nНеобходимо выбрать другой сигнал для компонента:\r\n" +
                   path_of(permission_key(0, 0, 1)) + ".");
}

TEST_F(ExportFailures, RowParametersTheControllerNeeds) {
    load_table(usual_columns, row_xml(" tm_on=\"5\"", condition_xml(0, permission_xml(1, true))));
    expect_failure("Отсутствует параметр \"№ ТУ разрешения\" у компонента:\r\n\r\n" +
                   path_of(row_key(0)) + ".");

    load_table(usual_columns, row_xml(" tu=\"1\"", condition_xml(0, permission_xml(1, true))));
    expect_failure("Отсутствуют значения параметров \"Таймаут t1,с\" и \"Таймаут t2,с\" у "
                   "компонента:\r\n\r\n" +
                   path_of(row_key(0)) +
                   ".\r\n\r\nПредпочтительно использовать параметр \"Таймаут t2,с\".");

    load_table(usual_columns, row_xml(" tu=\"1\" tm_of=\"5\" tu_on=\"s1_2_6\"",
                                      condition_xml(1, permission_xml(1, true))));
    expect_failure("Отсутствует значение параметра \"Сигнал готовности\" у компонента:\r\n\r\n" +
                   path_of(row_key(0)) + ".");

    load_table(usual_columns, row_xml(" tu=\"1\" tm_of=\"5\" dop=\"s1_2_5\"",
                                      condition_xml(1, permission_xml(1, true))));
    expect_failure("Отсутствуют параметры \"Сигнал ТУ ВКЛ\" и \"Сигнал ТУ ОТКЛ\" у "
                   "компонента:\r\n\r\n" +
                   path_of(row_key(0)) + ".");

    load_table(usual_columns, row_xml(" tu=\"1\" tm_of=\"5\" tu_on=\"s1_2_6\"",
                                      condition_xml(0, permission_xml(1, true))));
    expect_failure("Для компонента\r\n\r\n" + path_of(row_key(0)) +
                   "\r\n\r\nне нужно указывать параметры \"Сигнал ТУ ВКЛ\" и \"Сигнал ТУ "
                   "ОТКЛ\", так как у него нет дистанционного \"Условия коммутации\".");

    load_table(usual_columns, row_xml(" tu=\"1\" tm_of=\"5\"", condition_xml(0, {})));
    expect_failure("Добавьте 'Разрешение коммутации' для компонента:\r\n\r\n" +
                   path_of(condition_key(0, 0)) + ".");
}

TEST_F(ExportFailures, FileProblemsAreShownWithoutTouchingAnything) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, true))), {});
    scripted_prompt prompt;
    prompt.expect("Не выбран файл для экспорта.", answer_ok);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(prompt.seen().back().text,
              "Не выбран файл для экспорта.\r\n\r\nСкопируйте файл conf.ini (conf*.ini) в "
              "директорию:\r\n" +
                  export_folder() + "\r\nИ выберите его имя в параметре \"Файл для экспорта\".");

    get<t_ilk_root>(root_key).set_export_file("conf.ini");
    prompt.expect("Не найден файл для экспорта:", answer_ok);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(prompt.seen().back().text, "Не найден файл для экспорта:\r\n\r\n" + file_path());

    write_file("A\r\nMEK=1 1\r\n");
    prompt.expect("не найдена строка", answer_ok);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(prompt.seen().back().text,
              "В файле для экспорта:\r\n\r\n" + file_path() + "\r\n\r\nне найдена строка .MEK=.");

    write_file("A\r\n.MEK=1 Б\r\n");
    prompt.expect("неожиданный формат", answer_ok);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(prompt.seen().back().text, "В файле для экспорта:\r\n\r\n" + file_path() +
                                             "\r\n\r\nнеожиданный формат .MEK=1 Б.");

    // Declining the last question writes nothing either.
    write_file("A\r\n.MEK=1 1\r\n");
    prompt.expect("Экспортировать конфигурацию", answer_no);
    EXPECT_FALSE(export_interlock(*store, root_key, caption, false));
    EXPECT_EQ(file_text(), "A\r\n.MEK=1 1\r\n");
    // None of these is a log line.
    EXPECT_EQ(log_text().find(" | ERR | "), std::string::npos);
}

TEST_F(ExportFile, RootCommandsRunTheExport) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, true))), {});
    t_ilk_root& root = get<t_ilk_root>(root_key);
    std::string arg;
    EXPECT_EQ(root.command(true, 0, arg), 1);
    EXPECT_EQ(arg, "Экспорт в conf.ini");
    EXPECT_EQ(root.command(true, 1, arg), 1);
    EXPECT_EQ(arg, "Экспорт в conf.ini с загрузкой в контроллер");
    EXPECT_EQ(root.command(true, 2, arg), 0);

    // With the controller but no file chosen: the question, declined.
    scripted_prompt prompt;
    prompt.expect("Не выбран файл для экспорта.", answer_no);
    EXPECT_EQ(root.command(false, 1, arg), 0);
    EXPECT_EQ(prompt.seen().back().text,
              "Не выбран файл для экспорта.\r\n\r\nВыбрать для экспорта файл:\r\nconf.ini ?");
    EXPECT_EQ(prompt.seen().back().caption, "Экспорт в conf.ini с загрузкой в контроллер");
    EXPECT_EQ(root.export_file(), "");

    write_file(".MEK=1 1\r\n");
    root.set_export_file("conf.ini");
    // The operator's command shows the review first; declined, the file stays.
    prompt.expect("Изменения в файле", answer_no);
    EXPECT_EQ(root.command(false, 0, arg), 0);
    EXPECT_EQ(prompt.seen().back().text, "Изменения в файле " + export_folder() +
                                             "conf.ini:\r\n\r\n+ ILK $ILK=1 2 5 0 0 102 1 103 "
                                             "129\r\n\r\nЗаписать новый файл ?");
    EXPECT_EQ(file_text(), ".MEK=1 1\r\n");
    prompt.expect("Изменения в файле", answer_yes);
    prompt.expect("Экспортировать конфигурацию", answer_yes);
    EXPECT_EQ(root.command(false, 0, arg), 0);
    EXPECT_EQ(file_text(), ".MEK=1 1\r\n$ILK=1 2 5 0 0 102 1 103 129\r\n");
}

#ifdef CONTROLLER_SIM_BINARY
TEST_F(ExportFile, WithTheControllerTheFileIsFetchedFirstAndSentBack) {
    const char* with_controller = "Экспорт в conf.ini с загрузкой в контроллер";
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, true))));
    temp_dir controller;
    write_bytes(controller.path() + "conf.ini", "[X]\r\n.MEK=100 200\r\n$ILK=9 0 0 0 0\r\n");
    controller_sim_process sim({"--port", "0", "--dir", controller.path()});
    transfer_options options;
    options.port = sim.port();
    options.receive_timeout_ms = 2000;
    options.read_answer_timeout_ms = 2000;

    // No local copy yet: it is read from the controller without asking.
    scripted_prompt prompt;
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, with_controller, true, options));
    EXPECT_EQ(prompt.seen().back().text, "Экспортировать конфигурацию блокировки:\r\nСхемы / "
                                         "Блокировка\r\n\r\nв файл:\r\n" +
                                             file_path() + " \r\n\r\nc загрузкой в контролллер ?");
    const std::string exported = "[X]\r\n.MEK=100 200\r\n$ILK=1 2 5 0 0 3 1 4 129\r\n";
    EXPECT_EQ(read_bytes(file_path()), exported);
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"), exported);

    // A local copy is replaced only when the operator says so.
    write_file(".MEK=1 1\r\n");
    prompt.expect("Заменить файл конфигурации :\r\n\r\n" + file_path() +
                      "\r\n\r\nфайлом конфигурации из контроллера ?",
                  answer_no);
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, with_controller, true, options));
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"),
              ".MEK=1 1\r\n$ILK=1 2 5 0 0 102 1 103 129\r\n");

    // Said yes to, the controller's file replaces the local copy before the export.
    write_file("[local]\r\n.MEK=101 1\r\n");
    prompt.expect("Заменить файл конфигурации :", answer_yes);
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    ASSERT_TRUE(export_interlock(*store, root_key, with_controller, true, options));
    EXPECT_EQ(read_bytes(file_path()), ".MEK=1 1\r\n$ILK=1 2 5 0 0 102 1 103 129\r\n");
}
#endif

TEST_F(ExportFile, LoadingIntoTheControllerIsTheEngineers) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, true))), {});
    t_ilk_root& root = get<t_ilk_root>(root_key);
    write_file(".MEK=1 1\r\n");
    root.set_export_file("conf.ini");
    std::string arg;
    recording_access audit;
    // Refused: nothing is asked or done (the script fails on any box).
    audit.grant = false;
    {
        scripted_prompt prompt;
        EXPECT_EQ(root.command(false, 1, arg), 0);
    }
    ASSERT_EQ(audit.asked.size(), 1u);
    EXPECT_EQ(audit.asked[0], protected_action::export_transfer);
    EXPECT_TRUE(audit.lines.empty());
    // The file-only export is not protected, and is recorded with its result.
    scripted_prompt prompt;
    prompt.expect("Изменения в файле", answer_yes);
    prompt.expect("Экспортировать конфигурацию", answer_yes);
    EXPECT_EQ(root.command(false, 0, arg), 0);
    prompt.expect("Изменения в файле", answer_no);
    EXPECT_EQ(root.command(false, 0, arg), 0);
    EXPECT_EQ(audit.asked.size(), 1u);
    EXPECT_EQ(audit.lines, (std::vector<std::string>{"экспорт|Блокировка: файл conf.ini, выполнен",
                                                     "экспорт|Блокировка: файл conf.ini, не "
                                                     "выполнен"}));
}

#ifdef CONTROLLER_SIM_BINARY
TEST_F(ExportFile, ControllerLoadIsRecordedWithTheController) {
    load_table(usual_columns,
               row_xml(" tu=\"1\" tm_on=\"5\"", condition_xml(0, permission_xml(1, true))));
    temp_dir controller;
    write_bytes(controller.path() + "conf.ini", "[X]\r\n.MEK=100 200\r\n");
    controller_sim_process sim({"--port", "0", "--dir", controller.path()});
    settings_set_int("CONF", "CTRL_PORT", sim.port());
    recording_access audit;
    scripted_prompt prompt;
    prompt.expect("Изменения в файле", answer_yes);
    prompt.expect("Экспортировать конфигурацию блокировки:", answer_yes);
    std::string arg;
    get<t_ilk_root>(root_key).command(false, 1, arg);
    settings_clear_section("CONF");
    ASSERT_EQ(audit.lines.size(), 1u);
    EXPECT_TRUE(audit.lines[0].starts_with(
        "экспорт с загрузкой в контроллер|Блокировка: файл conf.ini, контроллер "))
        << audit.lines[0];
    EXPECT_TRUE(audit.lines[0].ends_with(", выполнен")) << audit.lines[0];
    EXPECT_EQ(read_bytes(controller.path() + "conf.ini"),
              "[X]\r\n.MEK=100 200\r\n$ILK=1 2 5 0 0 3 1 4 129\r\n");
}
#endif

} // namespace
