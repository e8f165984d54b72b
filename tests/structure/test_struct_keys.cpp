#include "structure_fixture.h"

#include "base/nx_exception.h"
#include "structure/t_struct_canal.h"
#include "structure/t_struct_kp.h"
#include "structure/t_struct_root.h"

using namespace nxkit;

namespace ilktest {
namespace {

using StructKeys = struct_test;

TEST_F(StructKeys, KeysFollowTheNumbersAndPassOverFolders) {
    load("<ref tp=\"40\">\r\n"
         "<ref tp=\"99\">\r\n"
         "<ref tp=\"41\" num=\"1\">\r\n"
         "<ref tp=\"42\" num=\"2\">\r\n"
         "<ref tp=\"99\" title=\"Ячейка\">\r\n"
         "<ref tp=\"1\" num=\"7\"/>\r\n"
         "<ref tp=\"2\" num=\"7\"/>\r\n"
         "</ref>\r\n"
         "</ref>\r\n"
         "</ref>\r\n"
         "</ref>\r\n"
         "</ref>\r\n");
    EXPECT_EQ(get<t_struct_canal>("K.0000.0000").signal_key(), "1");
    EXPECT_EQ(get<t_struct_kp>("K.0000.0000.0000").signal_key(), "1_2");
    EXPECT_EQ(ts("K.0000.0000.0000.0000.0000").signal_key(), "s1_2_7");
    EXPECT_EQ(ti("K.0000.0000.0000.0000.0001").signal_key(), "i1_2_7");
    EXPECT_EQ(store->signal_owner("s1_2_7"), "K.0000.0000.0000.0000.0000");
    EXPECT_EQ(store->signal_owner("i1_2_7"), "K.0000.0000.0000.0000.0001");
    EXPECT_FALSE(ts("K.0000.0000.0000.0000.0000").has_flag(flag_locked));
}

TEST_F(StructKeys, ANumberOfZeroOnTheWayLeavesTheKeyEmpty) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_0_7\"/>\r\n") +
         "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\">\r\n"
         "<ref tp=\"1\" num=\"7\"/>\r\n"
         "</ref>\r\n</ref>\r\n</ref>\r\n");
    source("D.0000").set(1);
    EXPECT_EQ(get<t_struct_kp>(section_key).signal_key(), "");
    t_struct_ts& signal = ts(first_signal);
    EXPECT_EQ(signal.signal_key(), "");
    EXPECT_FALSE(signal.linked());
    EXPECT_EQ(signal.value_text(form_long),
              "НормальноРазомкнутый\r\nнет контроля\r\nавтоматический ввод");
    EXPECT_EQ(signal.display_name(), "нр [?0] (7) ТС");
}

TEST_F(StructKeys, AMissingSectionOrChannelLocksWithItsMessage) {
    scripted_prompt prompt;
    prompt.expect("Для компонента 'Телесигнал' (K.0000.0000) не удалось найти Раздел", answer_ok);
    load("<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"1\" num=\"7\"/>\r\n"
         "</ref>\r\n</ref>\r\n");
    EXPECT_EQ(prompt.pending(), 0u);
    ASSERT_EQ(prompt.seen().size(), 1u);
    EXPECT_EQ(prompt.seen()[0].text.rfind("Инициализация конфигурации завершилась с ошибками:", 0),
              0u);

    // Called again directly, the element reports the same.
    t_struct_ts& signal = ts("K.0000.0000");
    try {
        signal.init();
        ADD_FAILURE() << "init passed without a section";
    } catch (const nx_exception& e) {
        EXPECT_STREQ(e.what(), "Для компонента 'Телесигнал' (K.0000.0000) не удалось найти Раздел");
    }

    auto section = store->create(tp_struct_kp);
    section->set_key("K.0001");
    t_ref& orphan = *section;
    store->put("K.0001", std::move(section));
    EXPECT_THROW(
        {
            try {
                orphan.init();
            } catch (const nx_exception& e) {
                EXPECT_STREQ(e.what(), "Для компонента 'Раздел' (K.0001) не удалось найти Канал");
                throw;
            }
        },
        nx_exception_ref_init);
}

TEST_F(StructKeys, ADuplicateNumberNamesTheFirstSignal) {
    load(section_with("<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n<ref tp=\"1\" num=\"8\"/>\r\n"));
    t_struct_ts& second = ts(second_signal);
    ASSERT_TRUE(second.set_parameter(1, "7"));
    try {
        second.init();
        ADD_FAILURE() << "a second signal 7 was accepted";
    } catch (const nx_exception_ref_init& e) {
        EXPECT_STREQ(e.what(),
                     "Инициализация компонента\r\n"
                     "'Структура / (1) Канал / (1_2) Раздел / нр [?0] (s1_2_7) ТС'.\r\n"
                     "Значение '7' параметра 'Номер (1-65535)' уже назначено компоненту\r\n"
                     "'Структура / (1) Канал / (1_2) Раздел / нр [?0] (s1_2_7) Q1'");
    }
    // It keeps its key, but the table keeps the first owner.
    EXPECT_EQ(second.signal_key(), "s1_2_7");
    EXPECT_EQ(store->signal_owner("s1_2_7"), first_signal);

    // The same number pasted into the section is locked with the same message.
    scripted_prompt prompt;
    prompt.expect("уже назначено компоненту\r\n"
                  "'Структура / (1) Канал / (1_2) Раздел / нр [?0] (s1_2_7) Q1'",
                  answer_ok);
    store->insert_xml(section_key, "<ref tp=\"1\" num=\"7\"/>");
    EXPECT_EQ(prompt.pending(), 0u);
    EXPECT_TRUE(ts(third_signal).has_flag(flag_locked));

    // A locked element is not checked at all.
    second.set_flag(true, flag_locked);
    EXPECT_NO_THROW(second.init());
}

TEST_F(StructKeys, NumbersTheFieldCannotHoldAreRefusedNotCut) {
    load(section_with("<ref tp=\"1\" num=\"7\"/>\r\n"));
    t_struct_ts& signal = ts(first_signal);
    // 70000 once became 4464 and every reference to the signal pointed elsewhere.
    for (const char* text : {"70000", "-1", "abc", "65536", "12x"}) {
        try {
            signal.set_parameter(1, text);
            ADD_FAILURE() << text << " was taken";
        } catch (const nx_exception& e) {
            EXPECT_EQ(std::string(e.what()),
                      std::string("Номер: значение '") + text + "' вне диапазона 1-65535");
        }
        EXPECT_EQ(signal.element_number(), 7) << text;
    }
    struct case_t {
        const char* text;
        int number;
        const char* shown;
    };
    for (case_t c : {case_t{" 12", 12, "12"}, case_t{"65535", 65535, "65535"},
                     case_t{"0", 0, ""}, case_t{"", 0, ""}}) {
        ASSERT_TRUE(signal.set_parameter(1, c.text));
        EXPECT_EQ(signal.element_number(), c.number) << c.text;
        std::string value, name;
        ASSERT_TRUE(signal.get_parameter(1, value, name));
        EXPECT_EQ(value, c.shown) << c.text;
    }
}

TEST_F(StructKeys, ParameterRowsOfEveryClass) {
    load(section_with("<ref tp=\"1\" num=\"7\"/>\r\n<ref tp=\"2\" num=\"8\"/>\r\n"));
    auto rows = [](t_ref& r) {
        std::string out;
        std::string value, name;
        for (int i = 0; r.get_parameter(i, value, name); ++i)
            out += name + "=" + value + ";";
        return out;
    };
    t_struct_ts& signal = ts(first_signal);
    ASSERT_TRUE(signal.set_parameter(0, "  Q1 ввод  "));
    ASSERT_TRUE(signal.set_parameter(2, "  s1_2_8 + 1  "));
    EXPECT_EQ(rows(signal), "Дисп. имя=Q1 ввод;Номер (1-65535)=7;Выражение=s1_2_8 + 1;"
                            "Контакт=НормальноРазомкнутый(нр);");
    EXPECT_EQ(rows(ti(second_signal)), "Дисп. имя=;Номер (1-65535)=8;Выражение=;");
    EXPECT_EQ(rows(get<t_struct_kp>(section_key)), "Описание=;Номер (1-65535)=2;");
    EXPECT_EQ(rows(get<t_struct_canal>("K.0000")), "Описание=;Номер (1-65535)=1;");
    t_struct_root& root = get<t_struct_root>("K");
    EXPECT_EQ(rows(root), "");
    EXPECT_FALSE(root.set_parameter(0, "x"));
    EXPECT_TRUE(root.has_flag(flag_no_delete));
    EXPECT_FALSE(signal.set_parameter(4, "x"));

    choice_list choices;
    EXPECT_EQ(signal.parameter_editor(3, choices), editor_choice_only);
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_EQ(choices[0].text, "НормальноРазомкнутый(нр)");
    EXPECT_EQ(choices[0].value, 0);
    EXPECT_EQ(choices[1].text, "НормальноЗамкнутый(нз)");
    EXPECT_EQ(choices[1].value, 1);
    choice_list none;
    EXPECT_EQ(signal.parameter_editor(2, none), editor_free_text);
    EXPECT_TRUE(none.empty());
}

TEST_F(StructKeys, ContactChoiceAndTextsOutsideTheList) {
    load(section_with("<ref tp=\"1\" num=\"7\"/>\r\n"));
    t_struct_ts& signal = ts(first_signal);
    struct case_t {
        const char* text;
        bool closed;
    };
    for (case_t c :
         {case_t{"НормальноЗамкнутый(нз)", true}, case_t{"НормальноРазомкнутый(нр)", false},
          case_t{"что-то другое", true}, case_t{"НормальноРазомкнутый(нр)", false},
          case_t{" НормальноРазомкнутый(нр)", true}}) {
        ASSERT_TRUE(signal.set_parameter(3, c.text));
        EXPECT_EQ(signal.normally_closed(), c.closed) << c.text;
    }
}

} // namespace
} // namespace ilktest
