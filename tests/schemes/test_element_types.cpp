#include "schemes_fixture.h"

#include "base/files.h"
#include "schemes/element_types.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace nxkit;

namespace ilktest {
namespace {

std::string record_text(const element_type& r) {
    std::string text = r.name + " " + std::to_string(r.image_on) + "/" +
                       std::to_string(r.image_off) + " " + r.current_property + ":" + r.current_on +
                       "/" + r.current_off + " [";
    for (const auto& [name, entry] : r.properties) {
        text += name + "(" + entry.on_value + "/" + entry.off_value + ":";
        for (const std::string& v : entry.values)
            text += v + ",";
        text += ")";
    }
    return text + "]";
}

TEST(ElementTypes, FileNamesAndBuiltInTypesAreRewrittenInCodePageOrder) {
    temp_dir dir;
    const std::string file = dir.path() + "elements.ini";
    element_type_table plain;
    plain.load(file);
    // Without a file the built-in types alone.
    EXPECT_EQ(plain.names().size(), 14u);
    const std::string breaker = record_text(*plain.type_record("выключатель"));
    EXPECT_EQ(breaker, "выключатель 1424/1425 положение:включен/отключен [дисп_имя(/:)"
                       "положение(включен/отключен:включен,отключен,)]");

    write_bytes(file, to_cp1251("  мой_тип \r\n\r\nвыключатель\r\nёлка\r\nlamp2"));
    element_type_table table;
    table.load(file);
    // "ё" sorts before the other letters in Windows-1251 but after them in UTF-8.
    EXPECT_EQ(
        read_bytes(file),
        to_cp1251("lamp2\r\nёлка\r\nвыключатель\r\nвыключатель_выдвижной\r\n"
                  "заземляющий_нож\r\nлампа\r\nметка\r\nмой_тип\r\nпредохранитель\r\n"
                  "прибор_настраиваемый\r\nприбор_реальный\r\nприсоединение\r\nразъединитель\r\n"
                  "табло\r\nтекст\r\nшина\r\nячейка_таблицы\r\n"));
    // A built-in name in the file changes nothing.
    EXPECT_EQ(record_text(*table.type_record("выключатель")), breaker);
    EXPECT_EQ(record_text(*table.type_record("мой_тип")),
              "мой_тип 1435/1436 дисп_имя:/ [дисп_имя(/:)]");
    EXPECT_EQ(record_text(*table.type_record("прибор_реальный")),
              "прибор_реальный 1437/1437 значение:/ [дисп_имя(/:)значение(/:)]");
    EXPECT_EQ(record_text(*table.type_record("шина")),
              "шина 1435/1436 напряжение:есть/нет [дисп_имя(/:)напряжение(есть/нет:есть,нет,)]");
    EXPECT_EQ(table.type_record("нет_такого"), nullptr);
}

TEST(ElementTypes, AFailedWriteIsLoggedAndTheTableStays) {
    temp_dir dir;
    // The folder is missing, so the file cannot be written.
    const std::string file = dir.path() + "nowhere/elements.ini";
    std::string log = open_scheme_log();
    element_type_table table;
    table.load(file);
    nx_log::main().close();
    std::string text = from_cp1251(read_bytes(log));
    EXPECT_NE(text.find(" | ERR | " + file + " не удалось сохранить "), std::string::npos) << text;
    EXPECT_NE(table.type_record("лампа"), nullptr);
}

TEST(ElementTypes, AFileThatCannotBeReadIsNeverWrittenOver) {
    temp_dir dir;
    // A link to a folder: it is there, reading it fails, and a rewrite would replace the link.
    const std::string file = dir.path() + "elements.ini";
    ASSERT_EQ(mkdir((dir.path() + "list").c_str(), 0755), 0);
    ASSERT_EQ(symlink((dir.path() + "list").c_str(), file.c_str()), 0);
    std::string log = open_scheme_log();
    element_type_table table;
    table.load(file);
    nx_log::main().close();
    std::string text = from_cp1251(read_bytes(log));
    EXPECT_NE(text.find(" | ERR | " + file + " не удалось прочитать "), std::string::npos) << text;
    EXPECT_EQ(text.find("не удалось сохранить"), std::string::npos) << text;
    struct stat st {};
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    // The built-in types serve this run.
    EXPECT_EQ(table.names().size(), 14u);
    EXPECT_NE(table.type_record("выключатель"), nullptr);
}

TEST(ElementTypes, LineEndsOfEveryKindSeparateTheNames) {
    temp_dir dir;
    const std::string file = dir.path() + "elements.ini";
    write_bytes(file, to_cp1251("тип_lf\nтип_cr\rтип_crlf\r\n\n\rпоследний"));
    element_type_table table;
    table.load(file);
    EXPECT_EQ(table.names().size(), 18u);
    for (const char* name : {"тип_lf", "тип_cr", "тип_crlf", "последний"})
        EXPECT_NE(table.type_record(name), nullptr) << name;
    EXPECT_EQ(read_bytes(file).find('\n'), read_bytes(file).find("\r\n") + 1);
}

TEST(ElementTypes, ChoosingPropertiesAndValues) {
    element_type r;
    property_entry& pos = select_property(r, "положение");
    add_value(r, pos, "вкл", true);
    add_value(r, pos, "откл", false);
    select_property(r, "цвет");
    EXPECT_EQ(r.current_on, "");
    // Selecting a property again brings back its values.
    select_property(r, "положение");
    EXPECT_EQ(r.current_on, "вкл");
    EXPECT_EQ(r.current_off, "откл");
    // Values typed in by hand become known.
    r.current_on = "новое";
    reapply_current(r);
    EXPECT_EQ(r.properties["положение"].on_value, "новое");
    EXPECT_EQ(r.properties["положение"].values.count("новое"), 1u);
    EXPECT_EQ(r.current_off, "откл");
}

using RuleTypes = scheme_test;

TEST_F(RuleTypes, RulesTakeAndFeedTheirElementsType) {
    temp_dir dir;
    element_type_table table;
    table.load(dir.path() + "elements.ini");
    load(scheme("<ref tp=\"82\" rtid=\"10\">\r\n<ref tp=\"87\"/>\r\n"
                "<ref tp=\"87\" par=\"положение\" on=\"вкл2\" of=\"\"/>\r\n"
                "<ref tp=\"88\"/>\r\n</ref>\r\n"
                "<ref tp=\"82\" rtid=\"11\">\r\n<ref tp=\"87\"/>\r\n</ref>\r\n"));
    element_type_ptr breaker = table.type_record("выключатель");
    element().set_kind(breaker);
    element().init();

    auto& empty = get<t_el_onof>(first_rule);
    EXPECT_EQ(empty.property(), "положение");
    EXPECT_EQ(empty.on_value(), "включен");
    EXPECT_EQ(empty.off_value(), "отключен");
    EXPECT_EQ(breaker->current_on, "вкл2");
    EXPECT_EQ(breaker->current_off, "отключен");
    EXPECT_EQ(breaker->properties["положение"].values.count("вкл2"), 1u);
    EXPECT_EQ(get<t_el_expr>(first_element + ".0002").property(), "положение");
    choice_list choices;
    EXPECT_EQ(empty.parameter_editor(4, choices), editor_choice_or_text);
    ASSERT_EQ(choices.size(), 3u);
    EXPECT_EQ(choices[0].text, "вкл2");

    // The tree icon follows the switching rule.
    int icon = 0, overlay = 0, state = 0;
    element().tree_images(icon, overlay, state);
    EXPECT_EQ(icon, 1425);

    // An element without type keeps the rule's own texts and offers no lists.
    auto& other = get<t_el_onof>(second_element + ".0000");
    EXPECT_EQ(other.property(), "");
    EXPECT_EQ(other.parameter_editor(3, choices), editor_free_text);
    EXPECT_TRUE(choices.empty());
}

} // namespace
} // namespace ilktest
