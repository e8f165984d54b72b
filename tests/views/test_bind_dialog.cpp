// The bind-to-scheme dialog: what it shows of the sample element's type, what the buttons
// hand back, the CTRL settings it remembers and the bind command that asks through it.
#include "tests/schemes/schemes_fixture.h"
#include "tests/views/operator_views_fixture.h"

#include "base/settings.h"
#include "schemes/element_types.h"
#include "views/bind_choices.h"
#include "views/nx_dlg_add_disp.h"
#include "views/qt_bind_dialog.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>

using namespace nxkit;

namespace ilktest {
namespace {

std::string items_of(const QComboBox* box) {
    std::string text;
    for (int i = 0; i < box->count(); ++i)
        text += (i == 0 ? "" : "|") + box->itemText(i).toStdString();
    return text + " [" + box->currentText().toStdString() + "]";
}

std::string ctrl(const char* key) {
    return settings_get_string("CTRL", key, "?", false);
}

class BindDialog : public scheme_test, public qt_app_user {
protected:
    BindDialog() {
        settings_clear_section("CTRL");
        template_history().clear();
        temp_dir dir;
        table.load(dir.path() + "elements.ini");
        load(section("<ref tp=\"1\" num=\"7\" title=\"Q1\"/>\r\n"
                     "<ref tp=\"1\" num=\"9\" title=\"Q2\"/>\r\n"
                     "<ref tp=\"1\" num=\"10\" title=\"Q2_x\"/>\r\n") +
             scheme("<ref tp=\"82\" rtid=\"10\" disp=\"Q1\"/>\r\n"
                    "<ref tp=\"82\" rtid=\"11\" disp=\"Q2\"/>\r\n"));
        for (t_ref* r : store->refs().under(group_key))
            if (auto* e = dynamic_cast<t_element*>(r))
                e->set_kind(breaker());
        store->set_current("K.0000.0000");
        dialog.set_show([this](nx_dlg_add_disp& shown) {
            ++shows;
            return answer(shown);
        });
    }

    element_type_ptr breaker() { return table.type_record("выключатель"); }

    // Runs the dialog as the bind command does.
    int run(std::string& name_template, const std::string& text = "строка 1\r\nстрока 2") {
        return current_bind_dialog()->run(store->find(group_key), text, "Заголовок", name_template);
    }

    element_type_table table;
    qt_bind_dialog dialog;
    int shows = 0;
    std::function<int(nx_dlg_add_disp&)> answer;
};

TEST_F(BindDialog, ShowsTheSampleTypeAndTheLastTemplate) {
    std::string seen;
    answer = [&seen](nx_dlg_add_disp& d) {
        seen = d.windowTitle().toStdString() + "/" + d.text_box()->toPlainText().toStdString();
        for (QLabel* label : d.labels())
            seen += "/" + label->text().toStdString();
        seen += "/" + d.bind_button()->text().toStdString() + "/" +
                d.cancel_button()->text().toStdString();
        EXPECT_EQ(items_of(d.property_box()), "дисп_имя|положение [положение]");
        EXPECT_FALSE(d.property_box()->isEditable());
        EXPECT_EQ(items_of(d.on_box()), "включен|отключен [включен]");
        EXPECT_EQ(items_of(d.off_box()), "включен|отключен [отключен]");
        EXPECT_EQ(items_of(d.template_box()), "# [#]");
        // The explanation box is exactly as high as its two lines.
        QFontMetrics metrics(d.text_box()->font());
        EXPECT_EQ(d.text_box()->height(), 2 * metrics.lineSpacing() + 12);
        for (QLabel* label : d.labels())
            EXPECT_GE(label->width(), label->sizeHint().width());
        d.press(answer_ok);
        return d.result();
    };
    std::string name_template;
    EXPECT_EQ(run(name_template), answer_ok);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(seen, "Заголовок/строка 1\nстрока 2/Свойство/Значение ВКЛ./Значение ОТКЛ./Шаблон/"
                    "Привязать/Отмена");
    EXPECT_EQ(name_template, "#");
    EXPECT_EQ(ctrl("LAST_TL") + ";" + ctrl("LAST_PAR") + ";" + ctrl("LAST_ON") + ";" +
                  ctrl("LAST_OF"),
              "#;положение;включен;отключен");
}

TEST_F(BindDialog, TextsShownWhenPressedBecomeTheChoicesAlsoOnCancel) {
    answer = [](nx_dlg_add_disp& d) {
        d.on_box()->setEditText("вкл2");
        d.template_box()->setEditText("#_x");
        d.press(answer_cancel);
        return d.result();
    };
    std::string name_template;
    EXPECT_EQ(run(name_template), answer_cancel);
    EXPECT_EQ(name_template, "#_x");
    EXPECT_EQ(breaker()->current_on, "вкл2");
    EXPECT_EQ(ctrl("LAST_TL") + ";" + ctrl("LAST_ON") + ";" + ctrl("LAST_OF"), "#_x;вкл2;отключен");

    // The typed value is known to the type now, the template to the history; a template
    // without "#" gets it in front.
    answer = [](nx_dlg_add_disp& d) {
        EXPECT_EQ(items_of(d.on_box()), "вкл2|включен|отключен [вкл2]");
        EXPECT_EQ(items_of(d.template_box()), "#|#_x [#_x]");
        d.template_box()->setEditText("ТН_");
        d.press(answer_ok);
        return d.result();
    };
    EXPECT_EQ(run(name_template), answer_ok);
    EXPECT_EQ(name_template, "#ТН_");
    EXPECT_EQ(ctrl("LAST_TL"), "#ТН_");
    answer = [](nx_dlg_add_disp& d) {
        EXPECT_EQ(items_of(d.template_box()), "#|#_x|#ТН_ [#ТН_]");
        // Closing the window counts as "Отмена" and keeps what it shows.
        d.template_box()->setEditText("a#b");
        d.reject();
        return d.result();
    };
    EXPECT_EQ(run(name_template), answer_cancel);
    EXPECT_EQ(name_template, "a#b");
    EXPECT_EQ(shows, 3);
}

TEST_F(BindDialog, ChangingThePropertyShowsItsValues) {
    answer = [this](nx_dlg_add_disp& d) {
        d.property_box()->setCurrentIndex(0);
        emit d.property_box()->textActivated(d.property_box()->currentText());
        EXPECT_EQ(breaker()->current_property, "дисп_имя");
        EXPECT_EQ(items_of(d.on_box()), " []");
        d.on_box()->setEditText("Q");
        d.property_box()->setCurrentIndex(1);
        emit d.property_box()->textActivated(d.property_box()->currentText());
        EXPECT_EQ(items_of(d.on_box()), "включен|отключен [включен]");
        EXPECT_EQ(items_of(d.off_box()), "включен|отключен [отключен]");
        d.property_box()->setCurrentIndex(0);
        emit d.property_box()->textActivated(d.property_box()->currentText());
        d.on_box()->setEditText("Q");
        d.press(answer_ok);
        return d.result();
    };
    std::string name_template;
    EXPECT_EQ(run(name_template), answer_ok);
    EXPECT_EQ(ctrl("LAST_PAR") + ";" + ctrl("LAST_ON") + ";" + ctrl("LAST_OF"), "дисп_имя;Q;");
    EXPECT_EQ(breaker()->properties.at("дисп_имя").on_value, "Q");
}

TEST_F(BindDialog, LastChoicesComeFromTheSettings) {
    settings_set_string("CTRL", "LAST_TL", "Т#");
    settings_set_string("CTRL", "LAST_PAR", "цвет");
    settings_set_string("CTRL", "LAST_ON", "красный");
    settings_set_string("CTRL", "LAST_OF", "зеленый");
    answer = [](nx_dlg_add_disp& d) {
        // A property the type did not know is added with its values.
        EXPECT_EQ(items_of(d.property_box()), "дисп_имя|положение|цвет [цвет]");
        EXPECT_EQ(items_of(d.on_box()), "зеленый|красный [красный]");
        EXPECT_EQ(items_of(d.off_box()), "зеленый|красный [зеленый]");
        EXPECT_EQ(items_of(d.template_box()), "Т# [Т#]");
        d.press(answer_ok);
        return d.result();
    };
    std::string name_template;
    EXPECT_EQ(run(name_template), answer_ok);
    EXPECT_EQ(name_template, "Т#");
    EXPECT_EQ(breaker()->current_property + ";" + breaker()->current_on + ";" +
                  breaker()->current_off,
              "цвет;красный;зеленый");
}

TEST_F(BindDialog, NoDialogWithoutAnElementOrItsType) {
    std::string name_template = "unchanged";
    // The page's folder holds elements; the scheme root's first one is taken too.
    answer = [](nx_dlg_add_disp& d) {
        d.press(answer_cancel);
        return d.result();
    };
    EXPECT_EQ(current_bind_dialog()->run(store->find(scheme_key), "", "", name_template),
              answer_cancel);
    EXPECT_EQ(shows, 1);

    store->insert_xml(scheme_key, "<ref tp=\"85\" rtid=\"2\" disp=\"Стр2\"/>");
    t_ref& empty_page = store->find(scheme_key + ".0001");
    name_template = "unchanged";
    EXPECT_EQ(current_bind_dialog()->run(empty_page, "", "", name_template), 0);
    element().set_kind(nullptr);
    EXPECT_EQ(current_bind_dialog()->run(store->find(group_key), "", "", name_template), 0);
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(name_template, "unchanged");
    EXPECT_EQ(ctrl("LAST_TL"), "#");
}

TEST_F(BindDialog, BindCommandUsesTheChosenTemplate) {
    scripted_prompt prompt;
    prompt.expect("Привязано 1 элементов.", answer_ok);
    answer = [](nx_dlg_add_disp& d) {
        EXPECT_EQ(d.windowTitle().toStdString(),
                  "Привязать к сигналам по дисперчерскому имени (для всех в папке)");
        d.template_box()->setEditText("_x");
        d.press(answer_ok);
        return d.result();
    };
    std::string arg;
    EXPECT_EQ(store->find(group_key).command(false, 0, arg), 1);
    EXPECT_EQ(prompt.pending(), 0u);
    // Only "Q2" + "_x" names a signal.
    std::string rules;
    for (t_ref* r : store->refs().under(group_key))
        if (auto* rule = dynamic_cast<t_el_onof*>(r))
            rules += r->key() + " " + rule->on_condition() + " " + rule->name_template() + ";";
    EXPECT_EQ(rules, second_element + ".0000 s1_2_10 #_x;");

    // Cancelled: nothing bound, no message.
    answer = [](nx_dlg_add_disp& d) {
        d.press(answer_cancel);
        return d.result();
    };
    EXPECT_EQ(store->find(group_key).command(false, 0, arg), 0);
    EXPECT_EQ(store->refs().under(first_element).size(), 0u);
}

TEST_F(BindDialog, ALongExplanationWrapsAndShowsEveryLineInTheLogFont) {
    QFont log_font("DejaVu Sans Mono");
    log_font.setPixelSize(12);
    QFont dialog_font("DejaVu Sans");
    dialog_font.setPixelSize(15);
    dialog.set_fonts({log_font, dialog_font});
    std::string long_line;
    for (int i = 0; i < 30; ++i)
        long_line += "слово" + std::to_string(i) + " ";
    long_line += "КОНЕЦ";
    answer = [&](nx_dlg_add_disp& d) {
        QPlainTextEdit* box = d.text_box();
        EXPECT_EQ(box->font().pixelSize(), 12);
        EXPECT_EQ(d.font().pixelSize(), 15);
        EXPECT_EQ(d.labels()[0]->font().pixelSize(), 15);
        EXPECT_EQ(box->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        d.show();
        QApplication::processEvents();
        // At most 100 characters wide, as many lines high as the wrapping makes: nothing
        // hidden behind a scroll bar, the last word on screen.
        QFontMetrics metrics(box->font());
        EXPECT_LE(box->width(), 100 * QFontMetrics(d.font()).averageCharWidth());
        EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
        EXPECT_EQ(box->verticalScrollBar()->maximum(), 0);
        int lines = (box->height() - 12) / metrics.lineSpacing();
        EXPECT_GE(lines, 3);
        EXPECT_EQ(lines,
                  wrapped_line_count({QString::fromStdString(long_line), "второй"}, box->font(),
                                     box->viewport()->width() -
                                         2 * int(box->document()->documentMargin()) - 2));
        d.press(answer_cancel);
        return d.result();
    };
    std::string name_template;
    EXPECT_EQ(run(name_template, long_line + "\r\nвторой"), answer_cancel);
    EXPECT_EQ(shows, 1);
}

TEST(BindDialogLayout, PartsFollowTheFontAndDoNotOverlap) {
    bind_dialog_metrics m{7, 15, 100};
    bind_dialog_layout l = lay_out_bind_dialog(m, 9, 80);
    EXPECT_EQ(l.text, QRect(7 + 32 + 7, 7, 82 * 7, 9 * 15 + 12));
    EXPECT_EQ(l.labels[0].width(), 107);
    std::vector<QRect> parts = {l.icon, l.text, l.bind_button, l.cancel_button};
    parts.insert(parts.end(), l.labels.begin(), l.labels.end());
    parts.insert(parts.end(), l.combos.begin(), l.combos.end());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(QRect(QPoint(0, 0), l.size).contains(parts[i])) << i;
        for (std::size_t j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i].intersects(parts[j])) << i << " " << j;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(l.labels[i].top(), l.combos[i].top());
        EXPECT_EQ(l.combos[i].right(), l.text.right());
    }
    EXPECT_EQ(l.cancel_button.right(), l.text.right());
    EXPECT_LT(l.bind_button.right(), l.cancel_button.left());
    // A narrow text still gets a box of 60 characters; a very wide one at most 100, its lines
    // wrapped (counted by the caller).
    EXPECT_EQ(lay_out_bind_dialog(m, 1, 10).text.size(), QSize(60 * 7, 15 + 12));
    EXPECT_EQ(lay_out_bind_dialog(m, 3, 300).text.size(), QSize(100 * 7, 3 * 15 + 12));
    EXPECT_EQ(marked_template("#") + " " + marked_template("a#b") + " " + marked_template("x") +
                  " " + marked_template(""),
              "# a#b #x #");
}

} // namespace
} // namespace ilktest
