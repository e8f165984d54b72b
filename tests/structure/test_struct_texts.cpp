#include "structure_fixture.h"

#include "structure/signal_texts.h"
#include "structure/t_struct_canal.h"
#include "structure/t_struct_kp.h"
#include "structure/t_struct_root.h"

using namespace nxkit;

namespace ilktest {
namespace {

TEST(StructNumberFormat, CommaBlanksAndNoTrailingZeros) {
    struct case_t {
        double value;
        const char* text;
    };
    for (case_t c :
         {case_t{1234567.5, "1 234 567,5"}, case_t{-1234, "-1 234"}, case_t{0.25, "0,25"},
          case_t{100, "100"}, case_t{0, "0"}, case_t{-123, "-123"}, case_t{-123456, "-123 456"},
          case_t{1000, "1 000"}, case_t{12.5, "12,5"}, case_t{0.0000004, "0"},
          case_t{999.9999999, "1 000"}, case_t{1e25, "10 000 000 000 000 000 905 969 664"}}) {
        EXPECT_EQ(format_signal_number(c.value), c.text) << c.value;
    }
}

using StructTexts = struct_test;

TEST_F(StructTexts, TreeTextsOfEveryElement) {
    load("<ref tp=\"40\">\r\n"
         "<ref tp=\"41\" num=\"1\" title=\"Линия\">\r\n"
         "<ref tp=\"42\" num=\"2\">\r\n"
         "<ref tp=\"1\" num=\"7\"/>\r\n"
         "<ref tp=\"2\" num=\"7\"/>\r\n"
         "<ref tp=\"1\" num=\"8\" ct=\"1\" title=\"QS1\"/>\r\n"
         "</ref>\r\n"
         "<ref tp=\"42\"/>\r\n"
         "</ref>\r\n"
         "<ref tp=\"41\" num=\"3\"/>\r\n"
         "</ref>\r\n");
    EXPECT_EQ(get<t_struct_root>("K").display_name(), "Структура");
    EXPECT_EQ(get<t_struct_canal>("K.0000").display_name(), "(1) Линия");
    EXPECT_EQ(get<t_struct_canal>("K.0001").display_name(), "(3) Канал");
    EXPECT_EQ(get<t_struct_kp>("K.0000.0000").display_name(), "(1_2) Раздел");
    EXPECT_EQ(get<t_struct_kp>("K.0000.0001").display_name(), " Раздел");
    EXPECT_EQ(ts(first_signal).display_name(), "нр [?0] (s1_2_7) ТС");
    EXPECT_EQ(ts(third_signal).display_name(), " нз[?0] (s1_2_8) QS1");

    ti(second_signal).set_manual(12.5, true);
    EXPECT_EQ(ti(second_signal).display_name(), "[12,5](i1_2_7) ТИ");
    ts(first_signal).set_manual(1, true);
    EXPECT_EQ(ts(first_signal).display_name(), "нр [1] (s1_2_7) ТС");
}

TEST_F(StructTexts, StateTextsInBothForms) {
    load(section_with("<ref tp=\"1\" num=\"7\"/>\r\n<ref tp=\"2\" num=\"7\"/>\r\n"
                      "<ref tp=\"1\" num=\"8\" ct=\"1\"/>\r\n"));
    t_struct_ts& open = ts(first_signal);
    EXPECT_EQ(open.value_text(form_long),
              "НормальноРазомкнутый\r\nнет контроля\r\nавтоматический ввод");
    EXPECT_EQ(open.value_text(form_short), "нр,Н/К,авто");

    open.set_manual(1, true);
    EXPECT_EQ(open.value_text(form_short), "нр,ВКЛ,РУЧНОЙ");
    EXPECT_EQ(open.value_text(form_long), "НормальноРазомкнутый\r\nВКЛЮЧЕН\r\nручной ввод");

    t_struct_ts& closed = ts(third_signal);
    closed.set_manual(0, true);
    EXPECT_EQ(closed.value_text(form_short), "нз,ОТКЛ,РУЧНОЙ");
    EXPECT_EQ(closed.value_text(form_long), "НормальноЗамкнутый\r\nОТКЛЮЧЕН\r\nручной ввод");

    t_struct_ti& measure = ti(second_signal);
    measure.set_manual(1, true);
    EXPECT_EQ(measure.value_text(form_long), "НормальноРазомкнутый\r\nВКЛЮЧЕН\r\nручной ввод");
    measure.set_manual(0, true);
    EXPECT_EQ(measure.value_text(form_short), "нр,ОТКЛ,РУЧНОЙ");
    measure.set_manual(2.5, true);
    EXPECT_EQ(measure.value_text(form_short), "нр,2,5,РУЧНОЙ");
}

TEST_F(StructTexts, OneLineListing) {
    load(section_with("<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n<ref tp=\"2\" num=\"7\"/>\r\n"));
    EXPECT_EQ(ts(first_signal).listing_text(), "[ нр,Н/К,авто ]\tQ1 - (s1_2_7) Телесигнал");
    ti(second_signal).set_manual(-1234, true);
    EXPECT_EQ(ti(second_signal).listing_text(), "[ нр,-1 234,РУЧНОЙ ]\t(i1_2_7) Телеизмерение");
}

TEST_F(StructTexts, TreeImagesFollowValueSourceAndState) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_1\"/>\r\n<ref tp=\"51\" sk=\"s1_2_2\"/>\r\n") +
         section_with("<ref tp=\"1\" num=\"1\"/>\r\n"
                      "<ref tp=\"1\" num=\"2\"><expr>self</expr></ref>\r\n"
                      "<ref tp=\"1\" num=\"3\"><expr>s1_2_1</expr></ref>\r\n"
                      "<ref tp=\"1\" num=\"4\"><expr>self</expr></ref>\r\n"
                      "<ref tp=\"2\" num=\"5\"/>\r\n"));
    auto images = [](t_ref& r) {
        int icon = -1, overlay = -1, state = -1;
        r.tree_images(icon, overlay, state);
        return std::to_string(icon) + "/" + std::to_string(overlay) + "/" + std::to_string(state);
    };
    EXPECT_EQ(images(get<t_struct_root>("K")), "1521/0/0");
    EXPECT_EQ(images(get<t_struct_canal>("K.0000")), "1411/0/0");
    EXPECT_EQ(images(get<t_struct_kp>(section_key)), "1412/0/0");

    source("D.0000").set(1);
    source("D.0001").set(0, true, true, true);
    // Linked: 1413, linked through an expression with self: 1415.
    EXPECT_EQ(images(ts("K.0000.0000.0000")), "1409/1413/0");
    EXPECT_EQ(images(ts("K.0000.0000.0001")), "1410/1415/7");
    // Computed: 1414; an expression with self but without a link: 1401.
    EXPECT_EQ(images(ts("K.0000.0000.0002")), "1409/1414/0");
    EXPECT_EQ(images(ts("K.0000.0000.0003")), "1410/1401/0");

    t_struct_ti& measure = ti("K.0000.0000.0004");
    EXPECT_EQ(images(measure), "1432/1401/2");
    measure.set_manual(-3, true);
    EXPECT_EQ(images(measure), "1431/1401/6");
    measure.set_flag(true, flag_forced);
    measure.set_manual(3, true);
    EXPECT_EQ(images(measure), "1430/1446/0");
    measure.set_flag(true, flag_unacknowledged);
    EXPECT_EQ(images(measure), "1430/1446/5");
    measure.set_flag(true, flag_locked);
    EXPECT_EQ(images(measure), "1430/1446/1");
}

} // namespace
} // namespace ilktest
