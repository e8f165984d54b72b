#include "tests/shell/shell_fixture.h"

#include "ui/nx_log_view.h"

#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>

namespace {

using namespace nxkit;
using shelltest::shell_test;

class LogView : public shell_test {
protected:
    void SetUp() override {
        shell_test::SetUp();
        pane = std::make_unique<QPlainTextEdit>();
        pane->show();
        view = new nx_log_view(pane.get());
        file = dir() + "followed.log";
        ilktest::write_bytes(file, "");
    }
    void append(const std::string& text) {
        ilktest::write_bytes(file, ilktest::read_bytes(file) + to_cp1251(text));
    }
    std::string shown() const { return pane->toPlainText().toStdString(); }

    std::unique_ptr<QPlainTextEdit> pane;
    nx_log_view* view = nullptr;
    std::string file;
};

TEST_F(LogView, FollowsTheFileAndAppendsOnlyWhatIsNew) {
    EXPECT_FALSE(view->running());
    append("первая\r\n");
    view->follow(file);
    // A stopped view shows the file once.
    EXPECT_EQ(shown(), "первая\n");
    // Starting reads the whole tail again, in place of what was shown.
    EXPECT_TRUE(view->start());
    EXPECT_FALSE(view->start());
    EXPECT_EQ(view->interval(), 500);
    view->update();
    EXPECT_EQ(shown(), "первая\n");
    append("вторая");
    view->update();
    EXPECT_EQ(shown(), "первая\nвторая");
    EXPECT_TRUE(view->stop());
    EXPECT_EQ(shown(), "");
}

TEST_F(LogView, AfterATrimOnlyNewTextIsAddedAndAReplacedFileIsShownWhole) {
    std::string lines;
    for (int i = 0; i < 400; ++i)
        lines += "строка " + std::to_string(i) + "\r\n";
    append(lines);
    view->start(file);
    view->update();
    ASSERT_EQ(view->text_limit(), 300000);
    // Trimmed by its oldest tenth and grown by one line: the anchor (the old last 3255 bytes)
    // is still found, so only the new line is added.
    std::string bytes = ilktest::read_bytes(file);
    ilktest::write_bytes(file, bytes.substr(bytes.size() / 10) + to_cp1251("новая\r\n"));
    view->update();
    std::string text = shown();
    EXPECT_TRUE(text.ends_with("строка 398\nстрока 399\nновая\n")) << text.substr(text.size() - 40);
    EXPECT_EQ(text.rfind("строка 0\n", 0), 0u);

    // Replaced by something else altogether: the anchor is not found, the whole tail is new.
    ilktest::write_bytes(file, to_cp1251("другой файл\r\n"));
    view->update();
    EXPECT_TRUE(shown().ends_with("новая\nдругой файл\n"));
}

TEST_F(LogView, TheTextLimitDropsTheOldestText) {
    append(std::string(150, 'a'));
    view->start(file, 200, 0);
    view->update();
    append(std::string(100, 'b'));
    view->update();
    EXPECT_EQ(shown(), std::string(100, 'a') + std::string(100, 'b'));
}

TEST_F(LogView, FrozenByADoubleClickAndBackToTheModeBefore) {
    append("a");
    view->start(file);
    view->set_mode(nx_log_view::intensive);
    EXPECT_EQ(view->interval(), 1);
    EXPECT_EQ(pane->palette().color(QPalette::Base), QColor(255, 200, 200));

    QTest::mouseDClick(pane->viewport(), Qt::LeftButton);
    EXPECT_EQ(view->current_mode(), nx_log_view::frozen);
    EXPECT_FALSE(view->running());
    EXPECT_EQ(pane->palette().color(QPalette::Base), QColor(200, 255, 200));
    std::string before = shown();
    append("b");
    QTest::qWait(30);
    EXPECT_EQ(shown(), before);

    QTest::mouseDClick(pane->viewport(), Qt::LeftButton);
    EXPECT_EQ(view->current_mode(), nx_log_view::intensive);
    EXPECT_TRUE(view->running());
    // The missed text comes with the next tick.
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == "ab"; }, 1000)) << shown();
}

} // namespace
