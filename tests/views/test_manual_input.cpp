// Manual input: the form and its answers, the HAND section, the two toolbar commands and
// the buttons that follow the signals' flags.
#include "tests/views/operator_views_fixture.h"

#include "base/cp1251.h"
#include "base/nx_log.h"
#include "base/settings.h"
#include "config/ref_flags.h"
#include "structure/structure_classes.h"
#include "views/nx_view_hand.h"

#include <QAction>
#include <QWidget>

using namespace nxkit;

namespace ilktest {
namespace {

class manual_input_test : public operator_views_test {
protected:
    manual_input_test() {
        cancel = new QAction(&owner);
        acknowledge = new QAction(&owner);
        view = std::make_unique<nx_view_hand>(*store, cancel, acknowledge);
        // Telesignals open the form through the view, as the shell registers them.
        register_structure_classes(*store, view.get());
        store->add_viewer(view.get());
    }
    ~manual_input_test() override { store->remove_viewer(view.get()); }

    void load_signals() {
        load(
            equipment_with("<ref tp=\"51\" sk=\"s1_2_7\"/>\r\n<ref tp=\"51\" sk=\"i1_2_9\"/>\r\n") +
            section_with(
                "<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
                "<ref tp=\"1\" num=\"8\" title=\"QS1\">\r\n<expr>s1_2_7</expr>\r\n</ref>\r\n"
                "<ref tp=\"2\" num=\"9\" title=\"Ia\"/>\r\n"));
    }

    int answer(const std::string& key, int button) {
        scripted_prompt prompt;
        prompt.expect_form(ts_key(key), button);
        view->show_manual_input(key);
        EXPECT_EQ(prompt.forms().size(), 1U);
        return static_cast<int>(prompt.forms().size());
    }
    std::string ts_key(const std::string& key) {
        return dynamic_cast<t_struct_vl&>(store->find(key)).signal_key();
    }

    QWidget owner;
    QAction* cancel = nullptr;
    QAction* acknowledge = nullptr;
    std::unique_ptr<nx_view_hand> view;
};

using ManualInput = manual_input_test;

TEST_F(ManualInput, FormShowsTheSignalAndItsButtons) {
    load_signals();
    deliver("D.0000", 0);
    scripted_prompt prompt;
    prompt.expect_form("s1_2_8", 0);
    view->show_manual_input(second_signal);
    ASSERT_EQ(prompt.forms().size(), 1U);
    const form_request& form = prompt.forms()[0];
    EXPECT_EQ(form.title, "Телесигнал");
    EXPECT_EQ(form.text, "s1_2_8 = s1_2_7\r\nQS1\r\n" + ts(second_signal).value_text(form_long));
    EXPECT_EQ(form.icon, 1537);
    ASSERT_EQ(form.buttons.size(), 4U);
    EXPECT_EQ(form.buttons[0].text, "Включить");
    EXPECT_EQ(form.buttons[0].answer, 2);
    EXPECT_EQ(form.buttons[0].icon, 1535);
    EXPECT_EQ(form.buttons[1].text, "Отключить");
    EXPECT_EQ(form.buttons[1].answer, 3);
    EXPECT_EQ(form.buttons[2].text, "Авто");
    EXPECT_EQ(form.buttons[2].answer, 1);
    EXPECT_EQ(form.buttons[3].text, "Отмена");
    EXPECT_EQ(form.buttons[3].answer, 0);
    // "Отмена" changed nothing.
    EXPECT_FALSE(ts(second_signal).manual());

    // Not a signal, or no component: no form at all (the script fails on any).
    view->show_manual_input(section_key);
    view->show_manual_input("K.0000.0000.0077");
}

TEST_F(ManualInput, AnswersSetTheValueAndTheHandSection) {
    settings_set_int("HAND", "LOAD", 1);
    load_signals();
    deliver("D.0000", 0);
    answer(first_signal, 2);
    EXPECT_TRUE(ts(first_signal).manual());
    EXPECT_TRUE(ts(first_signal).is_on());
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", 99, false), 1);
    // The form's icon now tells manual on.
    {
        scripted_prompt prompt;
        prompt.expect_form("s1_2_7", 3);
        view->show_manual_input(first_signal);
        EXPECT_EQ(prompt.forms()[0].icon, 1535);
    }
    EXPECT_FALSE(ts(first_signal).is_on());
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", 99, false), 0);
    answer(first_signal, 1);
    EXPECT_FALSE(ts(first_signal).manual());
    EXPECT_EQ(settings_get_int("HAND", "s1_2_7", 99, false), -1);
    // "Отмена" writes nothing.
    settings_clear_section("HAND");
    settings_set_int("HAND", "LOAD", 1);
    answer(first_signal, 0);
    EXPECT_EQ(settings_get_string("HAND", "s1_2_7", "none", false), "none");

    // A telemeasurement takes 1 and 0 the same way.
    answer(third_signal, 2);
    EXPECT_EQ(ti(third_signal).value(), 1);
    EXPECT_TRUE(ti(third_signal).manual());
    answer(third_signal, 3);
    EXPECT_EQ(ti(third_signal).value(), 0);
    EXPECT_EQ(settings_get_int("HAND", "i1_2_9", 99, false), 0);
}

TEST_F(ManualInput, WithoutHandLoadNothingIsWritten) {
    settings_set_int("HAND", "LOAD", 0);
    load_signals();
    answer(first_signal, 2);
    EXPECT_TRUE(ts(first_signal).manual());
    EXPECT_EQ(settings_get_string("HAND", "s1_2_7", "none", false), "none");
}

TEST_F(ManualInput, ManualValuesSurviveAReload) {
    settings_set_int("HAND", "LOAD", 1);
    load_signals();
    deliver("D.0000", 0);
    answer(first_signal, 2);
    store->load();
    EXPECT_TRUE(ts(first_signal).manual());
    EXPECT_TRUE(ts(first_signal).is_on());
    answer(first_signal, 1);
    store->load();
    EXPECT_FALSE(ts(first_signal).manual());
}

TEST_F(ManualInput, InvalidStoredValuesChangeNothingAndAreReported) {
    std::string log_path = station_dir() + "manual_input_test.log";
    nx_log::main().close();
    std::remove(log_path.c_str());
    nx_log::main().open(log_path, 10000000, 0);
    settings_set_int("HAND", "LOAD", 1);
    settings_set_string("HAND", "s1_2_7", "abc");
    settings_set_string("HAND", "s1_2_8", "5");
    settings_set_string("HAND", "i1_2_9", "");
    load_signals();
    EXPECT_FALSE(ts(first_signal).manual());
    EXPECT_FALSE(ts(second_signal).manual());
    EXPECT_FALSE(ti(third_signal).manual());
    nx_log::main().close();
    std::string log = from_cp1251(read_bytes(log_path));
    EXPECT_NE(log.find(" | WAR | ручной ввод: значение 'abc' сигнала s1_2_7 в разделе HAND не "
                       "принято"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("значение '5' сигнала s1_2_8"), std::string::npos) << log;
    EXPECT_NE(log.find("значение '' сигнала i1_2_9"), std::string::npos) << log;
    settings_clear_section("HAND");
}

TEST_F(ManualInput, TheSignalsCommandOpensTheForm) {
    load_signals();
    scripted_prompt prompt;
    prompt.expect_form("s1_2_7", 2);
    std::string arg;
    ts(first_signal).command(false, 0, arg);
    EXPECT_EQ(prompt.forms().size(), 1U);
    EXPECT_TRUE(ts(first_signal).manual());
}

TEST_F(ManualInput, ButtonsFollowManualAndUnacknowledgedSignals) {
    settings_set_int("HAND", "LOAD", 1);
    load_signals();
    store->update_pass();
    EXPECT_FALSE(cancel->isEnabled());
    EXPECT_FALSE(acknowledge->isEnabled());
    answer(first_signal, 2);
    store->update_pass();
    EXPECT_TRUE(cancel->isEnabled());
    answer(third_signal, 3);
    store->update_pass();
    answer(first_signal, 1);
    store->update_pass();
    EXPECT_TRUE(cancel->isEnabled()) << "the measurement is still manual";
    answer(third_signal, 1);
    store->update_pass();
    EXPECT_FALSE(cancel->isEnabled());

    // A change of a fed signal leaves it unacknowledged.
    deliver("D.0000", 1);
    deliver("D.0000", 0);
    EXPECT_TRUE(ts(first_signal).unacknowledged());
    EXPECT_TRUE(acknowledge->isEnabled());
    view->acknowledge_all();
    EXPECT_FALSE(ts(first_signal).unacknowledged());
    store->update_pass();
    EXPECT_FALSE(acknowledge->isEnabled());

    // A reload empties both sets until notifications come in.
    answer(first_signal, 2);
    store->update_pass();
    EXPECT_TRUE(cancel->isEnabled());
    view->on_unload();
    EXPECT_FALSE(cancel->isEnabled());
}

TEST_F(ManualInput, CancelAllGivesEverySignalBackToItsSource) {
    settings_set_int("HAND", "LOAD", 1);
    load_signals();
    deliver("D.0000", 0);
    answer(first_signal, 2);
    answer(third_signal, 2);
    settings_set_int("HAND", "s9_9_9", 1);
    store->update_pass();
    ASSERT_TRUE(cancel->isEnabled());
    view->cancel_all_manual();
    EXPECT_FALSE(ts(first_signal).manual());
    EXPECT_FALSE(ts(first_signal).is_on()) << "the source says off";
    EXPECT_FALSE(ti(third_signal).manual());
    store->update_pass();
    EXPECT_FALSE(cancel->isEnabled());
    // The section keeps only LOAD.
    std::string ini = read_bytes(station_dir() + "ilkstation.ini");
    auto at = ini.find("[HAND]\r\n");
    ASSERT_NE(at, std::string::npos) << ini;
    std::string section = ini.substr(at);
    section = section.substr(0, section.find('[', 1));
    while (section.size() > 4 && section.compare(section.size() - 4, 4, "\r\n\r\n") == 0)
        section.resize(section.size() - 2);
    EXPECT_EQ(section, "[HAND]\r\nLOAD=1\r\n");
}

TEST_F(ManualInput, EveryInputAndRemovalIsRecorded) {
    load_signals();
    deliver("D.0000", 0);
    recording_access audit;
    answer(first_signal, 2);
    answer(first_signal, 3);
    answer(third_signal, 2);
    answer(first_signal, 1);
    // "Отмена" records nothing.
    answer(first_signal, 0);
    view->cancel_all_manual();
    view->acknowledge_all();
    EXPECT_EQ(audit.lines,
              (std::vector<std::string>{"ручной ввод|s1_2_7 = 1", "ручной ввод|s1_2_7 = 0",
                                        "ручной ввод|i1_2_9 = 1", "снятие ручного ввода|s1_2_7",
                                        "отмена ручного ввода для всех сигналов|сигналов: 1",
                                        "квитирование всех сигналов|сигналов: 0"}));
    // Manual input of single signals is the operator's: no password asked.
    EXPECT_TRUE(audit.asked.empty());
}

} // namespace
} // namespace ilktest
