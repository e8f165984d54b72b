#include "base/cp1251.h"
#include "base/format.h"
#include "base/last_error.h"
#include "base/nx_exception.h"
#include "base/prompt.h"
#include "base/text.h"
#include "platform/system_error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

using namespace nxkit;

TEST(Messages, LastErrorText) {
    EXPECT_EQ(last_error_text(0), "");

    std::string system = system_error_message(2);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(last_error_text(2), ". GetLastError: 2 (2) " + system);
    EXPECT_NE(last_error_text(2).back(), '\n');
    EXPECT_EQ(last_error_text(26), ". GetLastError: 1a (26) " + system_error_message(26));
    // A code the system has no text for gives the prefix alone.
    EXPECT_EQ(last_error_text(100000), ". GetLastError: 186a0 (100000) ");

    errno = ENOENT;
    EXPECT_EQ(last_error_text(), last_error_text(ENOENT));
    errno = 0;
    EXPECT_EQ(last_error_text(), "");
}

TEST(Messages, ExceptionTextIsTheMessage) {
    try {
        throw nx_exception_ref_not_found("не найден ключ 5" + last_error_text(0));
    } catch (const nx_exception& e) {
        EXPECT_STREQ(e.what(), "не найден ключ 5");
    }
}

TEST(Messages, CaptionFollowsTheIconBits) {
    ilktest::scripted_prompt prompt;
    prompt.expect("продолжить?", answer_yes);
    prompt.expect("готово", answer_ok);
    prompt.expect("осторожно", answer_ok);
    prompt.expect("сбой", answer_ok);
    prompt.expect("сохранить?", answer_cancel);
    prompt.expect("удалить?", answer_no);
    prompt.expect("своё", answer_ok);

    EXPECT_EQ(show_message(nullptr, "продолжить?", mb_question), answer_yes);
    EXPECT_EQ(show_message(nullptr, "готово", mb_information), answer_ok);
    EXPECT_EQ(show_message(nullptr, "осторожно", mb_warning), answer_ok);
    EXPECT_EQ(show_message(nullptr, "сбой", mb_error), answer_ok);
    EXPECT_EQ(show_message(nullptr, "сохранить?", mb_question_cancel), answer_cancel);
    EXPECT_EQ(show_message(nullptr, "удалить?", mb_warning_yes_no), answer_no);
    EXPECT_EQ(show_message(nullptr, "своё", mb_error, "/station/ilkstation"), answer_ok);

    ASSERT_EQ(prompt.seen().size(), 7u);
    const char* captions[] = {"Вопрос", "Сообщение", "Внимание",           "Ошибка",
                              "Вопрос", "Внимание",  "/station/ilkstation"};
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(prompt.seen()[i].caption, captions[i]) << prompt.seen()[i].text;
    EXPECT_EQ(prompt.seen()[4].type, 35);
    EXPECT_EQ(default_caption(0), "Сообщение");
    EXPECT_EQ(prompt.pending(), 0u);
}

TEST(Messages, NoPromptAnswersZero) {
    i_prompt* previous = current_prompt();
    set_prompt(nullptr);
    EXPECT_EQ(show_message(nullptr, "никто не ответит", mb_question), answer_none);
    set_prompt(previous);
}

TEST(Format, ResultMustFitWhole) {
    EXPECT_EQ(format_short("%s=%d", "LOG_SIZE", 1000000), "LOG_SIZE=1000000");
    std::string fits(254, 'x');
    EXPECT_EQ(format_short("%s", fits.c_str()), fits);
    std::string too_long(255, 'x');
    EXPECT_EQ(format_short("%s", too_long.c_str()), "");

    EXPECT_EQ(format_sized(5, "%d", 1234), "1234");
    EXPECT_EQ(format_sized(5, "%d", 12345), "");
    EXPECT_EQ(format_sized(0, "%d", 1), "");
    EXPECT_EQ(format_sized(20, "%.3f|%5s|%x", 1.5, "ab", 255u), "1.500|   ab|ff");
}

TEST(Format, ScratchBuffer) {
    char* scratch = scratch_buffer();
    EXPECT_EQ(scratch, scratch_buffer());
    std::string long_text(9999, 'y');
    EXPECT_EQ(format_into(scratch, scratch_buffer_size, "%s", long_text.c_str()), long_text);
    EXPECT_EQ(std::strlen(scratch), 9999u);
    EXPECT_EQ(format_into(scratch, scratch_buffer_size, "%s!", long_text.c_str()), "");

    char small[8];
    EXPECT_EQ(format_into(small, sizeof small, "%03d:%s", 7, "ab"), "007:ab");
    EXPECT_STREQ(small, "007:ab");
}

TEST(Format, FailuresGiveTheirTexts) {
    // A conversion the formatter rejects (a wide character outside the C locale) is "".
    const wchar_t wide[] = {0x0444, 0};
    EXPECT_EQ(format_short("%ls", wide), "");
    // A buffer that cannot be had is a fault, not an exception.
    EXPECT_EQ(format_sized(SIZE_MAX, "%d", 1), "!!! FORMAT ERROR !!!");
}

TEST(Text, Trim) {
    EXPECT_EQ(trim("  ab  ", ' '), "ab");
    EXPECT_EQ(trim_left("  ab  ", ' '), "ab  ");
    EXPECT_EQ(trim_right("  ab  ", ' '), "  ab");
    EXPECT_EQ(trim("__a_b__", '_'), "a_b");
    EXPECT_EQ(trim("    ", ' '), "");
    EXPECT_EQ(trim_left("", ' '), "");
    EXPECT_EQ(trim(" ж ", ' '), "ж");
}

TEST(Text, ReplaceChars) {
    EXPECT_EQ(replace_chars("C:\\x", ":\\", '_'), "C__x");
    EXPECT_EQ(replace_chars("C:\\x", "", '_'), "C:\\x");
    // Characters, not bytes: б and в share their first byte.
    EXPECT_EQ(replace_chars("абв:г", "б:", '_'), "а_в_г");
    EXPECT_EQ(replace_chars("a.b;c", "\\.:/\";", '_'), "a_b_c");
}

TEST(Text, ToLower) {
    EXPECT_EQ(to_lower("LOG_SIZE Hwnd 123"), "log_size hwnd 123");
    EXPECT_EQ(to_lower("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"), "абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    EXPECT_EQ(to_lower("ЂЃЉЊЌЋЏЎЈҐЄЇІЅ"), "ђѓљњќћџўјґєїіѕ");
    EXPECT_EQ(to_lower("уже строчные, №5 € 中"), "уже строчные, №5 € 中");
}

TEST(Cp1251, RoundTripOfEveryAssignedByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        if (b != 0x98)
            all += static_cast<char>(b);
    std::string utf8 = from_cp1251(all);
    EXPECT_EQ(utf8_length(utf8), all.size());
    EXPECT_EQ(to_cp1251(utf8), all);
    EXPECT_EQ(from_cp1251("\xC0\xFF\xA8\xB8\xB9"), "АяЁё№");
}

TEST(Cp1251, CharactersOutsideBecomeQuestionMarks) {
    EXPECT_EQ(to_cp1251("Ж中é!"), "\xC6?"
                                  "?!");
    EXPECT_EQ(utf8_length("Ж中é!"), 4u);
    EXPECT_EQ(utf8_left("Ж中é!", 2), "Ж中");
}

} // namespace
