// Switching programs: read from text and CSV, checked step by step in the what-if engine with
// the explanation of every refusal, printed and written as CSV.

#include "base/cp1251.h"
#include "base/nx_exception.h"
#include "interlock/whatif/switching_program.h"
#include "tests/interlock_whatif/whatif_fixture.h"

using namespace nxkit;
using namespace ilktest;

namespace {

std::string failure_of(const std::string& text) {
    try {
        read_switching_program(text);
    } catch (const nx_exception& e) {
        return e.what();
    }
    return "no failure";
}

} // namespace

TEST(SwitchingProgramFile, ReadsCsvAndPlainLines) {
    std::vector<program_step> steps =
        read_switching_program("\xEF\xBB\xBF"
                               "аппарат;операция;комментарий\r\n"
                               "# вывод в ремонт\r\n"
                               "Q1;отключить;\"снять нагрузку; проверить\"\r\n"
                               "s1_1_2\tвкл\r\n"
                               "QS2,Откл.,\"сказал \"\"да\"\"\"\r\n"
                               "\r\n"
                               "включить QSG1   на линии\r\n");
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].apparatus, "Q1");
    EXPECT_FALSE(steps[0].switch_on);
    EXPECT_EQ(steps[0].comment, "снять нагрузку; проверить");
    EXPECT_EQ(steps[0].line, 3);
    EXPECT_EQ(steps[1].apparatus, "s1_1_2");
    EXPECT_TRUE(steps[1].switch_on);
    EXPECT_EQ(steps[1].comment, "");
    EXPECT_EQ(steps[2].apparatus, "QS2");
    EXPECT_FALSE(steps[2].switch_on);
    EXPECT_EQ(steps[2].comment, "сказал \"да\"");
    EXPECT_EQ(steps[3].apparatus, "QSG1");
    EXPECT_TRUE(steps[3].switch_on);
    EXPECT_EQ(steps[3].comment, "на линии");
    EXPECT_EQ(steps[3].line, 7);

    // Windows-1251 as a spreadsheet writes it.
    std::vector<program_step> cp = read_switching_program(to_cp1251("QS1;отключить;ремонт\r\n"));
    ASSERT_EQ(cp.size(), 1u);
    EXPECT_EQ(cp[0].comment, "ремонт");

    // Written and read back, the steps are the same.
    std::string csv = switching_program_csv(steps);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "аппарат;операция;комментарий");
    EXPECT_NE(csv.find("\r\nQ1;отключить;\"снять нагрузку; проверить\"\r\n"), std::string::npos);
    std::vector<program_step> back = read_switching_program(csv);
    ASSERT_EQ(back.size(), steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(back[i].apparatus, steps[i].apparatus);
        EXPECT_EQ(back[i].switch_on, steps[i].switch_on);
        EXPECT_EQ(back[i].comment, steps[i].comment);
    }

    EXPECT_EQ(failure_of("Q1;отключить\nQS1;перевести\n"),
              "строка 2: операция не \"включить\" и не \"отключить\": QS1;перевести");
    EXPECT_EQ(failure_of("Q1\n"), "строка 1: операция не \"включить\" и не \"отключить\": Q1");
    EXPECT_EQ(failure_of(";отключить\n"), "строка 1: нужны аппарат и операция: ;отключить");
    EXPECT_EQ(failure_of("отключить\n"), "строка 1: нет аппарата: отключить");
}

using SwitchingProgram = whatif_test;

// The line in service is taken out for repair: the first try opens a disconnector under load
// and is refused with the row, condition and permissions that refuse it; the proper order
// passes, and closing the breaker onto the earthed line is refused again.
TEST_F(SwitchingProgram, ChecksEachStepThenAppliesIt) {
    auto engine = whatif_engine::from_live(*live);
    std::vector<step_result> results =
        check_switching_program(*engine, read_switching_program("отключить QS1 под нагрузкой\n"
                                                                "Q1;отключить\n"
                                                                "s1_1_2;отключить\n"
                                                                "QS2;отключить\n"
                                                                "QSG1;включить;заземлить линию\n"
                                                                "Q1;включить\n"
                                                                "s1_2_1;включить\n"
                                                                "QX9;отключить\n"));
    ASSERT_EQ(results.size(), 8u);
    EXPECT_EQ(results[0].verdict, step_result::blocked);
    EXPECT_EQ(results[1].verdict, step_result::permitted);
    EXPECT_EQ(results[2].verdict, step_result::permitted);
    EXPECT_EQ(results[2].apparatus_name, "QS1");
    EXPECT_EQ(results[3].verdict, step_result::permitted);
    EXPECT_EQ(results[4].verdict, step_result::permitted);
    EXPECT_EQ(results[5].verdict, step_result::blocked);
    EXPECT_EQ(results[6].verdict, step_result::no_row);
    EXPECT_EQ(results[7].verdict, step_result::unknown_apparatus);
    EXPECT_FALSE(program_passes(results));
    // The step already done is said so: the first try applied QS1 off.
    EXPECT_TRUE(results[2].already);
    EXPECT_FALSE(results[1].already);

    EXPECT_EQ(results[6].apparatus_name, "Q10 вводной выключатель");
    EXPECT_EQ(program_result_text(results),
              "1. отключить QS1: ЗАПРЕЩЕНО — под нагрузкой\n"
              "    строка \"QS1\" таблицы \"Ячейка Л-1\"\n"
              "      условие 1 (Дистанционное): не выполнено\n"
              "        [нет] отключен - Q1\n"
              "          [ нр,ВКЛ,авто ]\tQ1 - (s1_1_1) Телесигнал\n"
              "        [да]  отключен - QSG1\n"
              "          [ нр,ОТКЛ,авто ]\tQSG1 - (s1_1_4) Телесигнал\n"
              "2. отключить Q1: разрешено\n"
              "3. отключить s1_1_2: разрешено (уже отключен)\n"
              "4. отключить QS2: разрешено\n"
              "5. включить QSG1: разрешено — заземлить линию\n"
              "6. включить Q1: ЗАПРЕЩЕНО\n"
              "    строка \"Q1\" таблицы \"Ячейка Л-1\"\n"
              "      условие 1 \"Включение\" (Дистанционное): не выполнено\n"
              "        [да]  отключен - Q1\n"
              "          [ нр,ОТКЛ,авто ]\tQ1 - (s1_1_1) Телесигнал\n"
              "        [нет] отключен - QSG1\n"
              "          [ нр,ВКЛ,авто ]\tQSG1 - (s1_1_4) Телесигнал\n"
              "7. включить s1_2_1: нет блокировки\n"
              "    ни одна строка таблиц блокировки не управляет \"Q10 вводной выключатель\"\n"
              "8. отключить QX9: аппарат не найден\n"
              "    нет столбца таблицы и нет сигнала \"QX9\"\n"
              "шагов: 8, не пройдено: 4\n");
    std::string csv = program_result_csv(results);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "шаг;аппарат;операция;результат;пояснение;комментарий");
    EXPECT_NE(csv.find("\r\n2;Q1;отключить;разрешено;;\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n5;QSG1;включить;разрешено;;заземлить линию\r\n"), std::string::npos);
    EXPECT_NE(
        csv.find(
            "\r\n6;Q1;включить;ЗАПРЕЩЕНО;\"строка \"\"Q1\"\" таблицы \"\"Ячейка Л-1\"\"\n"
            "условие 1 \"\"Включение\"\" (Дистанционное): не выполнено\n[да]  отключен - Q1\n"),
        std::string::npos)
        << csv;
}
