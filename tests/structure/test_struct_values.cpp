#include "structure_fixture.h"

#include "base/nx_time.h"
#include "structure/i_manual_input.h"
#include "structure/manual_values.h"

using namespace nxkit;

namespace ilktest {
namespace {

using StructValues = struct_test;

TEST_F(StructValues, ALinkedTelesignalCopiesItsSource) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n<ref tp=\"51\" sk=\"i1_2_8\"/>\r\n") +
         section_with("<ref tp=\"1\" num=\"7\"/>\r\n<ref tp=\"2\" num=\"8\"/>\r\n"));
    t_struct_ts& signal = ts(first_signal);
    ASSERT_TRUE(signal.linked());
    EXPECT_EQ(signal.value_text(form_short), "нр,Н/К,авто");

    fake_source& object = source("D.0000");
    object.set(1, true, true, true);
    object.time = time_encode(2024, 5, 6, 7, 8, 9, 10);
    EXPECT_TRUE(signal.is_on());
    EXPECT_EQ(signal.time(), object.time);
    EXPECT_EQ(signal.value_text(form_long),
              "НормальноРазомкнутый\r\nВКЛЮЧЕН\r\nнедостоверный\r\nавтоматический ввод");

    object.set(0, true, false);
    EXPECT_EQ(signal.value_text(form_short), "нр,Н/О,авто");
    EXPECT_FALSE(signal.invalid());

    // A measurement keeps its own time stamp and invalid bit.
    t_struct_ti& measure = ti(second_signal);
    ASSERT_TRUE(measure.linked());
    fake_source& meter = source("D.0001");
    meter.set(-1234, true, true, true);
    meter.time = 5.0;
    EXPECT_EQ(measure.value_text(form_short), "нр,-1 234,авто");
    EXPECT_NE(measure.time(), 5.0);
    EXPECT_FALSE(measure.invalid());

    // The object vanishes: no control, value 0, no longer linked.
    store->refs().take("D.0000");
    EXPECT_FALSE(signal.is_on());
    EXPECT_FALSE(signal.linked());
    EXPECT_EQ(signal.value_text(form_short), "нр,Н/К,авто");
}

TEST_F(StructValues, OnlyTheSecondValueIsAChange) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n") +
         section_with("<ref tp=\"1\" num=\"7\"/>\r\n"));
    t_struct_ts& signal = ts(first_signal);
    fake_source& object = source("D.0000");

    // Values without control do not count as the first one.
    object.set(1, false, false);
    signal.refresh();
    object.set(0, false, false);
    signal.refresh();
    EXPECT_FALSE(signal.unacknowledged());

    object.set(1);
    signal.refresh();
    EXPECT_FALSE(signal.unacknowledged());
    signal.refresh();
    EXPECT_FALSE(signal.unacknowledged());

    object.set(0);
    signal.refresh();
    EXPECT_TRUE(signal.unacknowledged());
    EXPECT_TRUE(signal.has_flag(flag_change_pending));

    // In manual input nothing is reported.
    signal.set_flag(false, flag_unacknowledged | flag_change_pending);
    signal.set_manual(1, true);
    object.set(1);
    signal.refresh();
    EXPECT_FALSE(signal.unacknowledged());
}

TEST_F(StructValues, ComputedSignalsCombineTheQualityOfTheirSources) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_1\"/>\r\n<ref tp=\"51\" sk=\"s1_2_2\"/>\r\n") +
         section_with("<ref tp=\"1\" num=\"1\"/>\r\n"
                      "<ref tp=\"1\" num=\"2\"/>\r\n"
                      "<ref tp=\"1\" num=\"3\"><expr>s1_2_1 + s1_2_2</expr></ref>\r\n"));
    t_struct_ts& a = ts("K.0000.0000.0000");
    t_struct_ts& b = ts("K.0000.0000.0001");
    t_struct_ts& sum = ts("K.0000.0000.0002");
    EXPECT_FALSE(sum.linked());
    auto state = [&] {
        a.refresh();
        b.refresh();
        return sum.value_text(form_short);
    };

    source("D.0000").set(1);
    source("D.0001").set(1, false, false);
    EXPECT_EQ(state(), "нр,Н/К,авто");

    source("D.0001").set(1);
    EXPECT_EQ(state(), "нр,2,авто");

    source("D.0001").set(0, true, true, true);
    EXPECT_EQ(state(), "нр,ВКЛ,Н/Д,авто");

    source("D.0001").set(0);
    b.set_manual(0, true);
    EXPECT_EQ(state(), "нр,ВКЛ,РУЧНОЙ");

    b.set_manual(0, false);
    EXPECT_EQ(state(), "нр,ВКЛ,авто");
}

TEST_F(StructValues, TheLinkRuleAndSelf) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_1\"/>\r\n<ref tp=\"51\" sk=\"s1_2_2\"/>\r\n") +
         section_with("<ref tp=\"1\" num=\"1\"><expr>!self</expr></ref>\r\n"
                      "<ref tp=\"1\" num=\"2\"><expr>1</expr></ref>\r\n"));
    t_struct_ts& inverted = ts("K.0000.0000.0000");
    t_struct_ts& constant = ts("K.0000.0000.0001");
    EXPECT_TRUE(inverted.linked());
    EXPECT_FALSE(constant.linked());

    source("D.0000").set(1);
    EXPECT_EQ(inverted.value_text(form_short), "нр,ОТКЛ,авто");
    source("D.0000").set(0);
    EXPECT_EQ(inverted.value_text(form_short), "нр,ВКЛ,авто");

    // The source of the same key is ignored: the expression alone gives the value.
    source("D.0001").set(0, false, false);
    EXPECT_EQ(constant.value_text(form_short), "нр,ВКЛ,авто");
}

TEST_F(StructValues, ALockedSectionTakesItsSignalsOutOfService) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n") +
         "<ref tp=\"40\">\r\n<ref tp=\"41\" num=\"1\">\r\n<ref tp=\"42\" num=\"2\" lock=\"1\">\r\n"
         "<ref tp=\"1\" num=\"7\"/>\r\n</ref>\r\n</ref>\r\n</ref>\r\n");
    t_struct_ts& signal = ts(first_signal);
    source("D.0000").set(1);
    EXPECT_TRUE(signal.has_flag(flag_locked_in_tree));
    EXPECT_EQ(store->signal_owner("s1_2_7"), "");
    EXPECT_FALSE(signal.is_on());
    EXPECT_EQ(signal.value_text(form_short), "нр,Н/К,авто");
}

TEST_F(StructValues, ManualInputFreezesTheValue) {
    load(equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n") +
         section_with("<ref tp=\"1\" num=\"7\"/>\r\n"));
    t_struct_ts& signal = ts(first_signal);
    source("D.0000").set(0, true, true, true);
    signal.refresh();
    store->change_set().clear();

    nx_time before = time_now();
    signal.set_manual(1, true);
    EXPECT_TRUE(signal.manual());
    EXPECT_TRUE(signal.has_flag(flag_manual_pending));
    EXPECT_FALSE(signal.invalid());
    EXPECT_GE(signal.time(), before);
    EXPECT_EQ(store->change_set().count(first_signal), 1u);
    EXPECT_TRUE(signal.is_on());
    EXPECT_EQ(signal.value_text(form_short), "нр,ВКЛ,РУЧНОЙ");

    // Back to automatic: the next refresh reads the source again.
    signal.set_manual(1, false);
    EXPECT_FALSE(signal.is_on());
    EXPECT_EQ(signal.value_text(form_short), "нр,ОТКЛ,Н/Д,авто");

    // A value forced from a scheme element is frozen but not shown as manual.
    signal.set_flag(true, flag_forced);
    signal.set_manual(1, true);
    EXPECT_FALSE(signal.manual());
    EXPECT_EQ(signal.value_text(form_short), "нр,ВКЛ,авто");
}

struct recording_input : i_manual_input {
    void open_manual_input(t_struct_vl& signal) override { opened.push_back(signal.key()); }
    std::vector<std::string> opened;
};

TEST_F(StructValues, TheOneCommandOfATelesignal) {
    recording_input input;
    make_store(&input);
    load(section_with("<ref tp=\"1\" num=\"7\" lock=\"1\"/>\r\n<ref tp=\"2\" num=\"8\"/>\r\n"));
    t_struct_ts& signal = ts(first_signal);
    ASSERT_TRUE(signal.has_flag(flag_locked));
    std::string arg;
    EXPECT_EQ(signal.command(true, 0, arg), 1);
    EXPECT_EQ(arg, "Ручной ввод значения");
    EXPECT_EQ(signal.command(true, 1, arg), 0);
    EXPECT_EQ(ti(second_signal).command(true, 0, arg), 0);

    arg = signal.key();
    signal.command(false, 0, arg);
    EXPECT_EQ(input.opened, std::vector<std::string>{first_signal});
}

class StructManualValues : public struct_test {
protected:
    void load_signal() {
        load(section_with("<ref tp=\"1\" num=\"7\"/>\r\n<ref tp=\"1\" num=\"8\"/>\r\n"));
    }
};

TEST_F(StructManualValues, KeptAcrossAReloadOnlyWhileLoadIsSet) {
    settings_set_int("HAND", "LOAD", 1);
    load_signal();
    ts(first_signal).set_manual(1, true);
    save_manual_value("s1_2_7", 1);
    save_manual_value("s1_2_8", -1);
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", -1, false), 1);
    EXPECT_EQ(settings_get_int("HAND", "s1_2_8", 0, false), -1);

    store->load();
    EXPECT_TRUE(ts(first_signal).manual());
    EXPECT_EQ(ts(first_signal).value_text(form_short), "нр,ВКЛ,РУЧНОЙ");
    EXPECT_FALSE(ts(second_signal).manual());

    // With LOAD 0 the stored value is neither restored nor written.
    settings_set_int("HAND", "LOAD", 0);
    store->load();
    EXPECT_FALSE(ts(first_signal).manual());
    EXPECT_EQ(ts(first_signal).value_text(form_short), "нр,Н/К,авто");
    save_manual_value("s1_2_8", 0);
    EXPECT_EQ(settings_get_int("HAND", "s1_2_8", 5, false), -1);
}

TEST_F(StructManualValues, NothingIsWrittenWithoutLoad) {
    save_manual_value("s1_2_7", 1);
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", -5, false), -5);
    // Reading LOAD left its default behind.
    EXPECT_EQ(settings_get_string("HAND", "LOAD", "none", false), "0");
}

TEST_F(StructManualValues, CancellingAllLeavesOnlyLoad) {
    settings_set_int("HAND", "LOAD", 5);
    save_manual_value("s1_2_7", 1);
    save_manual_value("s1_2_8", 0);
    cancel_all_manual_settings();
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", -1, false), -1);
    EXPECT_EQ(settings_get_int("HAND", "s1_2_8", -1, false), -1);
    EXPECT_EQ(settings_get_string("HAND", "LOAD", "", false), "1");

    settings_set_int("HAND", "LOAD", 0);
    cancel_all_manual_settings();
    EXPECT_EQ(settings_get_string("HAND", "LOAD", "", false), "0");
}

} // namespace
} // namespace ilktest
