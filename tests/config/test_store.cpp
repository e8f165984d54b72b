#include "tests/config/config_fixture.h"

#include "base/files.h"
#include "base/nx_exception.h"
#include "base/nx_xml_writer.h"
#include "base/settings.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace cfgtest;

namespace {

const char* const saved_form =
    "<struct>\r\n"
    "<REFs version=\"1\">\r\n"
    "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
    "  <ref tp=\"40\" cur=\"1\" title=\"Структура\">\r\n"
    "    <ref tp=\"41\" lock=\"1\" title=\"Канал &quot;1&quot; &amp; №2\">\r\n"
    "      <ref tp=\"42\"/>\r\n"
    "      <ref tp=\"99\" title=\"папка\"/>\r\n"
    "    </ref>\r\n"
    "  </ref>\r\n"
    "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\"/>\r\n"
    "</REFs>\r\n"
    "</struct>\r\n";

// Fails its initialisation with the text of its title.
class failing_ref : public t_ref {
public:
    explicit failing_ref(t_ref_buff& store) : t_ref(store, 950) {}
    void init() override {
        t_ref::init();
        throw nx_exception_ref_init("сбой " + title());
    }
};

class counting_device : public t_ref, public t_device {
public:
    explicit counting_device(t_ref_buff& store) : t_ref(store, tp_dev_104) {}
    void start(i_update_poster*) override { ++starts; }
    void stop() override { ++stops; }
    bool is_connected() override { return false; }
    int starts = 0;
    int stops = 0;
};

class recording_viewer : public i_viewer {
public:
    void on_unload() override { calls.push_back("unload"); }
    void on_load() override { calls.push_back("load"); }
    std::vector<std::string> calls;
};

// Reads its address as a 16-bit number and anything else as 0, as the device classes do.
class address_ref : public t_ref {
public:
    explicit address_ref(t_ref_buff& store) : t_ref(store, 960) {}
    void on_start(const nx_xml_element& e) override {
        t_ref::on_start(e);
        int read = e.attr_int("addr");
        address_ = read < 0 || read > 65535 ? 0 : read;
        ratio_ = e.attr_double("k");
    }
    void write(nx_xml_writer& writer) override {
        t_ref::write(writer);
        writer.attribute("addr", std::to_string(address_));
        writer.attribute("k", settings_double_text(ratio_));
    }

private:
    int address_ = 0;
    double ratio_ = 0;
};

} // namespace

TEST(StoreFile, MissingFileGivesTheThreeRootsAndSavesInTheWrittenForm) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    // The missing file is created from the template.
    EXPECT_EQ(ilktest::read_bytes(refs_file()), "<struct>\r\n</struct>\r\n");
    ASSERT_EQ(store.refs().size(), 3u);
    for (auto [key, type] : {std::pair{"D", 50}, {"K", 40}, {"S", 80}}) {
        t_ref& root = store.find(key);
        EXPECT_EQ(root.type(), type);
        EXPECT_EQ(root.title(), type_name(type));
        EXPECT_TRUE(root.has_flag(flag_no_delete));
    }

    store.insert_xml("K", "<ref tp=\"41\" lock=\"1\" title=\"Канал &quot;1&quot; &amp; №2\">"
                          "<ref tp=\"42\"/><ref tp=\"99\" title=\"папка\"/></ref>");
    store.save();
    EXPECT_EQ(ilktest::read_bytes(refs_file()), to_cp1251(saved_form));

    // Read back, the same configuration writes the same bytes.
    t_ref_buff again;
    register_test_classes(again);
    again.load();
    EXPECT_TRUE(again.find("K.0000").has_flag(flag_locked));
    EXPECT_EQ(again.find("K.0000").title(), "Канал \"1\" & №2");
    again.save();
    EXPECT_EQ(ilktest::read_bytes(refs_file()), to_cp1251(saved_form));
}

TEST(StoreFile, TextOutsideRefsSurvivesAndTransientSubtreesStayOut) {
    remove_refs();
    const std::string head = "<struct>\r\n<!-- заметка оператора -->\r\n<other a=\"1\"/>\r\n";
    const std::string tail = "<tail>текст</tail>\r\n</struct>\r\n";
    ilktest::write_bytes(
        refs_file(),
        to_cp1251(head + "<REFs version=\"1\">\r\n  <ref tp=\"40\"/>\r\n</REFs>\r\n" + tail));
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    store.insert_xml("K", "<ref tp=\"99\" title=\"a\"><ref tp=\"99\" title=\"b\"/></ref><ref "
                          "tp=\"99\" title=\"c\"/>");
    store.find("K.0000").set_flag(true, flag_transient);
    store.save();
    EXPECT_EQ(from_cp1251(ilktest::read_bytes(refs_file())),
              head +
                  "<REFs version=\"1\">\r\n"
                  "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
                  "  <ref tp=\"40\" cur=\"1\">\r\n"
                  "    <ref tp=\"99\" title=\"c\"/>\r\n"
                  "  </ref>\r\n"
                  "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\"/>\r\n"
                  "</REFs>\r\n" +
                  tail);
}

// An element of a class this program does not know keeps its place, its attributes in their
// order and everything nested in it; locked components stay in the file too.
TEST(StoreFile, AnUnknownClassWithChildrenIsWrittenBackUnchanged) {
    remove_refs();
    std::string log = open_test_log();
    const std::string text =
        "<struct>\r\n"
        "<REFs version=\"1\">\r\n"
        "  <ref tp=\"50\" cur=\"1\" title=\"Оборудование\"/>\r\n"
        "  <ref tp=\"40\" cur=\"1\" title=\"Структура\">\r\n"
        "    <ref tp=\"41\" title=\"Канал\">\r\n"
        "      <ref tp=\"43\" zz=\"9\" title=\"КРУ-10 кВ\" lock=\"0\" aa=\"&lt;1&gt; &amp;\">\r\n"
        "        <ref tp=\"1\" sk=\"s1\" title=\"Q1\"/>\r\n"
        "        <ref tp=\"1\" lock=\"1\" sk=\"s2\" title=\"Q2\"/>\r\n"
        "        <extra x=\"1\">текст</extra>\r\n"
        "      </ref>\r\n"
        "      <ref tp=\"42\" lock=\"1\" title=\"Раздел\"/>\r\n"
        "      <ref tp=\"44\"/>\r\n"
        "    </ref>\r\n"
        "  </ref>\r\n"
        "  <ref tp=\"80\" cur=\"1\" title=\"Схемы\"/>\r\n"
        "</REFs>\r\n"
        "</struct>\r\n";
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, text);

    t_ref& unknown = store.find("K.0000.0000");
    EXPECT_EQ(unknown.type(), 43);
    EXPECT_EQ(unknown.display_name(), "КРУ-10 кВ");
    // Inactive and out of the editor's reach, whatever its lock attribute says.
    EXPECT_TRUE(unknown.has_flag(flag_locked));
    EXPECT_TRUE(unknown.has_flag(flag_read_only));
    EXPECT_TRUE(unknown.has_flag(flag_no_add));
    EXPECT_TRUE(store.refs().under("K.0000.0000").empty());
    EXPECT_EQ(store.signal_owner("s1"), "");
    EXPECT_EQ(store.find("K.0000.0001").title(), "Раздел");
    EXPECT_TRUE(store.find("K.0000.0001").has_flag(flag_locked));
    EXPECT_EQ(store.find("K.0000.0002").type(), 44);

    std::string logged = log_text(log);
    EXPECT_NE(logged.find(" | WAR | Компонент неизвестного типа 43 'Структура / Канал / КРУ-10 "
                          "кВ' в файле " +
                          refs_file() +
                          " не загружен: он сохраняется в файле без изменений вместе с "
                          "вложенными элементами"),
              std::string::npos)
        << logged;
    EXPECT_NE(logged.find(" | WAR | Компонент неизвестного типа 44 'Структура / Канал / НЕТ "
                          "ИМЕНИ ТИПА'"),
              std::string::npos);

    // Saved (as closing a station in edit mode does) and saved again after a reload: the
    // very same bytes each time.
    store.save();
    EXPECT_EQ(from_cp1251(ilktest::read_bytes(refs_file())), text);
    t_ref_buff again;
    register_test_classes(again);
    again.load();
    again.save();
    EXPECT_EQ(from_cp1251(ilktest::read_bytes(refs_file())), text);

    // Copied, it is carried as it stands.
    EXPECT_EQ(again.subtree_xml("K.0000.0002"),
              "<REFs version=\"1\">\r\n  <ref tp=\"44\"/>\r\n</REFs>\r\n");
    nx_log::main().close();
}

// What a load changes is said: a station started empty for want of a file, and every value
// the classes could not take as it stood.
TEST(StoreLoad, EmptyStartsAndReplacedValuesAreLogged) {
    remove_refs();
    std::string log = open_test_log();
    t_ref_buff store;
    register_test_classes(store);
    store.register_class(960, [](t_ref_buff& s) { return std::make_unique<address_ref>(s); });
    store.load();
    ilktest::write_bytes(refs_file(), "");
    store.load();
    store.load();
    std::string logged = log_text(log);
    EXPECT_EQ(count_of(logged, " | WAR | Файл конфигурации " + refs_file() +
                                   " не найден: запущена пустая станция"),
              1);
    EXPECT_EQ(count_of(logged, " | WAR | Файл конфигурации " + refs_file() +
                                   " пуст: запущена пустая станция"),
              1);
    EXPECT_EQ(count_of(logged, "запущена пустая станция"), 2);

    load_text(store,
              "<struct><REFs version=\"1\"><ref tp=\"40\">"
              "<ref tp=\"960\" title=\"КП &amp; 1\" addr=\"99999999999999999999\" k=\"0.50\"/>"
              "<ref tp=\"960\" title=\"КП2\" addr=\"00017\" k=\"1e3\"/>"
              "<ref tp=\"960\" title=\"КП3\" addr=\"-5\" k=\"x\"/>"
              "</ref></REFs></struct>");
    logged = log_text(log);
    EXPECT_NE(
        logged.find(" | WAR | Файл " + refs_file() +
                    ", компонент 'Структура / КП & 1': значение addr=\"99999999999999999999\" "
                    "не может быть принято, загружено \"0\""),
        std::string::npos)
        << logged;
    EXPECT_NE(logged.find("компонент 'Структура / КП3': значение addr=\"-5\" не может быть "
                          "принято, загружено \"0\""),
              std::string::npos);
    EXPECT_NE(logged.find("компонент 'Структура / КП3': значение k=\"x\" не может быть принято, "
                          "загружено \"0.0\""),
              std::string::npos);
    // Another spelling of the same value, and an escaped title, are no change.
    EXPECT_EQ(count_of(logged, "не может быть принято"), 3);

    // Text inserted by the program is not a file read.
    store.insert_xml("K", "<ref tp=\"960\" addr=\"70000\"/>");
    EXPECT_EQ(count_of(log_text(log), "не может быть принято"), 3);
    nx_log::main().close();
}

TEST(StoreFile, SaveClearsModifiedAndQueuesButCopyLeavesItAlone) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    store.update_pass();
    store.insert_xml("S", "<ref tp=\"99\" title=\"x\"/>");
    t_ref& added = store.find("S.0000");
    EXPECT_TRUE(added.has_flag(flag_modified));
    EXPECT_EQ(store.subtree_xml("S.0000"),
              "<REFs version=\"1\">\r\n  <ref tp=\"99\" title=\"x\"/>\r\n</REFs>\r\n");
    EXPECT_TRUE(added.has_flag(flag_modified));
    EXPECT_TRUE(store.change_set().empty());
    store.save();
    EXPECT_FALSE(added.has_flag(flag_modified));
    EXPECT_EQ(store.change_set(), (key_set{"S.0000"}));
    // Components read by a load are not modified.
    store.load();
    EXPECT_FALSE(store.find("S.0000").has_flag(flag_modified));
}

TEST(StoreRead, KeysFollowDocumentOrderAndLaterInsertionsTakeTheNextNumber) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, "<struct><REFs version=\"1\"><ref tp=\"40\">"
                     "<ref tp=\"99\" title=\"first\"/><ref tp=\"99\" title=\"second\"/>"
                     "<ref tp=\"777\" title=\"unknown\"><ref tp=\"99\" title=\"inner\"/></ref>"
                     "<ref tp=\"99\" title=\"after\"/>"
                     "</ref></REFs></struct>");
    EXPECT_EQ(store.find("K.0000").title(), "first");
    EXPECT_EQ(store.find("K.0001").title(), "second");
    // An unknown code takes its key with everything nested in it kept as text.
    EXPECT_EQ(store.find("K.0002").type(), 777);
    EXPECT_EQ(store.get("K.0002.0000"), nullptr);
    EXPECT_EQ(store.find("K.0003").title(), "after");

    std::vector<std::string> collected;
    store.insert_xml("K.0001", "<ref tp=\"99\"/><ref tp=\"99\"><ref tp=\"99\"/></ref>", &collected);
    EXPECT_EQ(collected,
              (std::vector<std::string>{"K.0001.0000", "K.0001.0001", "K.0001.0001.0000"}));
    store.insert_xml("K", ref_xml(99, "later"));
    EXPECT_EQ(store.find("K.0004").title(), "later");
    EXPECT_TRUE(store.find("K.0004").has_flag(flag_modified));
    // A second structure root cannot take K.
    store.insert_xml("", ref_xml(40));
    EXPECT_EQ(store.find("0000").type(), 40);
}

TEST(StoreRead, AFileWithMoreThanTenThousandChildrenLoadsTheFirstTenThousand) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    std::string many;
    for (int i = 0; i < 10002; ++i)
        many += "<ref tp=\"99\" title=\"" + std::to_string(i) + "\"><ref tp=\"99\"/></ref>";
    ilktest::scripted_prompt prompt;
    prompt.expect("не может содержать более 10000", answer_ok);
    load_text(store, "<struct><REFs version=\"1\"><ref tp=\"40\">" + many +
                         "</ref><ref tp=\"80\"/></REFs></struct>");
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text, "Компонент 'Структура' не может содержать более 10000 "
                                     "дочерних компонентов.\r\nНе добавлено компонентов: 2.");
    EXPECT_EQ(store.refs().children("K").size(), 10000u);
    EXPECT_EQ(store.find("K.9999").title(), "9999");
    EXPECT_NE(store.get("K.9999.0000"), nullptr);
    // What follows the refused ones is read as before.
    EXPECT_NE(store.get("S"), nullptr);
    EXPECT_EQ(store.refs().size(), 1u + 2 * 10000 + 1 + 1);
}

TEST(StoreRead, VersionQuestions) {
    remove_refs();
    std::string log = open_test_log();
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    store.insert_xml("S", ref_xml(99, "before"));
    const std::string v2 = "<struct><REFs version=\"2\"><ref tp=\"80\"><ref tp=\"99\" "
                           "title=\"v2\"/></ref></REFs></struct>";
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Продолжить загрузку ?", answer_no);
        try {
            load_text(store, v2);
            ADD_FAILURE() << "the refused version must abort the load";
        } catch (const nx_exception& e) {
            EXPECT_STREQ(e.what(), "Версия формата конфигурации 2");
        }
        ASSERT_EQ(prompt.seen().size(), 1u);
        EXPECT_EQ(
            prompt.seen()[0].text,
            "Возможна некорретная загрузка конфигурации !\r\nВерсия формата конфигурации 2.\r\n"
            "Поддерживаются конфигурации до 1 версии включительно.\r\nПродолжить загрузку ?");
        EXPECT_EQ(prompt.seen()[0].type, mb_question);
        // The previous configuration was cleared before the file was read.
        EXPECT_EQ(store.get("S.0000"), nullptr);
    }
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Продолжить загрузку ?", answer_yes);
        load_text(store, v2);
        EXPECT_EQ(store.find("S.0000").title(), "v2");
        EXPECT_NE(store.get("D"), nullptr);
    }
    {
        ilktest::scripted_prompt prompt;
        prompt.expect("Конвертировать", answer_yes);
        load_text(store, "<struct><REFs><ref tp=\"80\"/></REFs></struct>");
        ASSERT_EQ(prompt.seen().size(), 1u);
        EXPECT_EQ(prompt.seen()[0].text,
                  "Необходима конвертация формата конфигурации до версии 1.\r\n"
                  "Версия формата конфигурации 0.\r\nКонвертировать и продолжить загрузку ?");
    }
    load_text(store, "<struct><REFs version=\"1\"/></struct>");
    std::string text = log_text(log);
    EXPECT_EQ(count_of(text, " | WAR | Версия формата конфигурации 2"), 2);
    EXPECT_EQ(count_of(text, " | WAR | Версия формата конфигурации 0"), 1);
    // The insertion form carries version 1 too.
    EXPECT_EQ(count_of(text, " | MES | Версия формата конфигурации 1"), 2);
}

TEST(StoreRead, InitialisationErrorsLockAndAreSummedUp) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.register_class(950, [](t_ref_buff& s) { return std::make_unique<failing_ref>(s); });
    store.load();
    std::string text;
    for (int i = 1; i <= 12; ++i)
        text += ref_xml(950, std::to_string(i));
    ilktest::scripted_prompt prompt;
    prompt.expect("Инициализация конфигурации завершилась с ошибками", answer_ok);
    store.insert_xml("S", text);
    ASSERT_EQ(prompt.seen().size(), 1u);
    std::string kept;
    for (int i = 1; i <= 10; ++i)
        kept += "сбой " + std::to_string(i) + "\r\n";
    EXPECT_EQ(prompt.seen()[0].text,
              "Инициализация конфигурации завершилась с ошибками:\r\n" + kept +
                  "и другие,  всего 12.\r\nКомпоненты, вызвавшие ошибку, заблокированы.");
    EXPECT_EQ(prompt.seen()[0].type, mb_error);
    EXPECT_TRUE(store.find("S.0011").has_flag(flag_locked));

    // A failing descendant is locked by itself, its folder stays active.
    prompt.expect("завершилась с ошибками", answer_ok);
    store.insert_xml("S",
                     "<ref tp=\"99\"><ref tp=\"99\"/><ref tp=\"950\" title=\"в папке\"/></ref>");
    EXPECT_EQ(prompt.seen()[1].text,
              "Инициализация конфигурации завершилась с ошибками:\r\nсбой в папке\r\n"
              " всего 1.\r\nКомпоненты, вызвавшие ошибку, заблокированы.");
    EXPECT_FALSE(store.find("S.0012").has_flag(flag_locked));
    EXPECT_TRUE(store.find("S.0012.0001").has_flag(flag_locked));
}

TEST(StoreRead, BadInputNeverCrashes) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(store, "<struct><REFs version=\"1\"><ref title=\"без типа\"><ref tp=\"99\"/></ref>"
                     "<ref tp=\"abc\" lock=\"yes\" cur=\"x\"/>"
                     "<ref tp=\"80\" lock=\"да\" cur=\"-\"><ref tp=\"99\" lock=\"1x\"/></ref>"
                     "</REFs></struct>");
    // Elements without a usable code are kept as they are, not read.
    EXPECT_EQ(store.find("0000").type(), 0);
    EXPECT_EQ(store.get("0000.0000"), nullptr);
    EXPECT_EQ(store.find("0001").type(), 0);
    EXPECT_FALSE(store.find("S").has_flag(flag_locked));
    EXPECT_TRUE(store.find("S.0000").has_flag(flag_locked));

    // 1000 nested folders: read, saved and read again.
    std::string deep = "<struct><REFs version=\"1\"><ref tp=\"40\">";
    for (int i = 0; i < 1000; ++i)
        deep += "<ref tp=\"99\">";
    for (int i = 0; i < 1000; ++i)
        deep += "</ref>";
    deep += "</ref></REFs></struct>";
    load_text(store, deep);
    EXPECT_EQ(store.refs().under("K").size(), 1000u);
    store.save();
    store.load();
    EXPECT_EQ(store.refs().under("K").size(), 1000u);

    try {
        load_text(store, "<struct><REFs version=\"1\"><ref tp=\"99\">");
        ADD_FAILURE() << "a broken document must not load";
    } catch (const nx_exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Ошибка загрузки конфигурации ", 0), 0u) << e.what();
    }
    // A load after the failure runs again.
    load_text(store, "<struct/>");
    EXPECT_EQ(store.refs().size(), 3u);
}

TEST(StoreBackup, TenPresentTheOldestGoes) {
    remove_refs();
    std::string folder = ilktest::station_dir() + "REFS/";
    std::filesystem::create_directories(folder);
    for (int i = 1; i <= 10; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%06drefs.ini", i);
        ilktest::write_bytes(folder + name, "old");
    }
    t_ref_buff store;
    register_test_classes(store);
    store.load();
    store.save();
    store.backup();
    EXPECT_FALSE(std::filesystem::exists(folder + "000001refs.ini"));
    EXPECT_TRUE(std::filesystem::exists(folder + "000002refs.ini"));
    EXPECT_EQ(ilktest::read_bytes(folder + "000011refs.ini"), ilktest::read_bytes(refs_file()));
    EXPECT_EQ(settings_get_string("CTRL", "MAX_BACK_REFS", "", false), "10");
    std::vector<std::string> list = store.backups();
    ASSERT_EQ(list.size(), 10u);
    EXPECT_EQ(list.front(), folder + "000011refs.ini");
    EXPECT_EQ(list.back(), folder + "000002refs.ini");

    // A maximum below 10 counts as 10; a higher one keeps more.
    settings_set_int("CTRL", "MAX_BACK_REFS", 12);
    store.backup();
    store.backup();
    EXPECT_EQ(store.backups().size(), 12u);
    EXPECT_EQ(store.backups().front(), folder + "000013refs.ini");
    settings_set_int("CTRL", "MAX_BACK_REFS", 3);
    store.backup();
    EXPECT_EQ(store.backups().size(), 10u);
    settings_set_int("CTRL", "MAX_BACK_REFS", 10);
}

// A backup killed while it is copied leaves nothing that "Загрузить" would offer; the
// temporary files of killed writes go at the next start, each with a log line.
TEST(StoreBackup, AKilledCopyIsNeverOfferedAndLeftoversGoAtTheNextStart) {
    remove_refs();
    std::string log = open_test_log();
    const std::string station = ilktest::station_dir();
    const std::string folder = station + "REFS/";
    std::filesystem::create_directories(folder);
    // Large enough that the copy takes a while.
    const std::string content(48 << 20, 'x');
    ilktest::write_bytes(refs_file(), content);
    {
        t_ref_buff store;
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            store.backup();
            _exit(0);
        }
        // Killed as soon as anything of the copy shows in the folder.
        bool seen = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!seen && std::chrono::steady_clock::now() < deadline) {
            std::error_code ec;
            seen = std::filesystem::directory_iterator(folder, ec) !=
                   std::filesystem::directory_iterator();
        }
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(seen);
        for (const std::string& path : store.backups())
            EXPECT_EQ(file_size(path), static_cast<long long>(content.size())) << path;
    }

    // A save killed the same way, and names that are no such leftover.
    const std::string leftover = station + "refs.ini.Ab12Cd";
    ilktest::write_bytes(leftover, std::string(3000000, 'y'));
    ilktest::write_bytes(folder + "000007refs.ini.Zx9Yw8", "z");
    ilktest::write_bytes(station + "refs.ini.bak", "keep");
    ilktest::write_bytes(station + "refs.ini.Ab12Cd7", "keep");
    std::remove(refs_file().c_str());

    t_ref_buff next;
    register_test_classes(next);
    next.load();
    std::string logged = log_text(log);
    EXPECT_NE(logged.find(" | WAR | Удалён временный файл прерванной записи " + leftover +
                          " (3000000 байт)"),
              std::string::npos)
        << logged;
    EXPECT_NE(logged.find(" | WAR | Удалён временный файл прерванной записи " + folder +
                          "000007refs.ini.Zx9Yw8 (1 байт)"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(leftover));
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        EXPECT_TRUE(entry.path().string().ends_with("refs.ini")) << entry.path();
    EXPECT_TRUE(std::filesystem::exists(station + "refs.ini.bak"));
    EXPECT_TRUE(std::filesystem::exists(station + "refs.ini.Ab12Cd7"));
    std::remove((station + "refs.ini.bak").c_str());
    std::remove((station + "refs.ini.Ab12Cd7").c_str());

    remove_refs();
    nx_log::main().close();
}

TEST(StoreLoad, ViewersDevicesAndManualValues) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    store.register_class(tp_dev_104,
                         [](t_ref_buff& s) { return std::make_unique<counting_device>(s); });
    recording_viewer viewer;
    store.add_viewer(&viewer);
    store.add_viewer(&viewer);
    const std::string config =
        "<struct><REFs version=\"1\"><ref tp=\"50\"><ref tp=\"104\"/></ref>"
        "<ref tp=\"40\"><ref tp=\"1\" sk=\"s1_2_7\"/><ref tp=\"1\" sk=\"s1_2_8\"/>"
        "<ref tp=\"2\" sk=\"i1_2_9\"/></ref></REFs></struct>";
    load_text(store, config);
    EXPECT_EQ(viewer.calls, (std::vector<std::string>{"unload", "load"}));
    int generation = store.generation();

    store.start_devices(true);
    EXPECT_EQ(dynamic_cast<counting_device&>(store.find("D.0000")).starts, 1);
    EXPECT_TRUE(store.change_set().count("D.0000"));
    // Devices follow a reload.
    settings_set_int("HAND", "LOAD", 1);
    settings_set_int("HAND", "s1_2_7", 1);
    settings_set_int("HAND", "s1_2_8", -1);
    settings_set_int("HAND", "I1_2_9", 0);
    load_text(store, config);
    EXPECT_EQ(store.generation(), generation + 1);
    EXPECT_EQ(dynamic_cast<counting_device&>(store.find("D.0000")).starts, 1);
    EXPECT_EQ(dynamic_cast<value_signal&>(store.find("K.0000")).manual_calls,
              (std::vector<double>{1}));
    EXPECT_TRUE(dynamic_cast<value_signal&>(store.find("K.0001")).manual_calls.empty());
    EXPECT_EQ(dynamic_cast<value_signal&>(store.find("K.0002")).manual_calls,
              (std::vector<double>{0}));
    store.start_devices(false);
    EXPECT_EQ(dynamic_cast<counting_device&>(store.find("D.0000")).stops, 1);

    settings_set_int("HAND", "LOAD", 0);
    store.remove_viewer(&viewer);
    load_text(store, config);
    EXPECT_TRUE(dynamic_cast<value_signal&>(store.find("K.0000")).manual_calls.empty());
    EXPECT_EQ(viewer.calls.size(), 4u);
    settings_clear_section("HAND");
}
