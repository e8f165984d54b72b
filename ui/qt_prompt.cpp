#include "ui/qt_prompt.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <cstdio>

namespace nxkit {

namespace {

QMessageBox::Icon icon_of(int type) {
    switch (type & 0xF0) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// Button sets by the low bits of the type, with the answers the callers compare.
void add_buttons(QMessageBox& box, int type) {
    auto add = [&box](const char* text, QMessageBox::ButtonRole role, int answer) {
        QPushButton* b = box.addButton(QString::fromUtf8(text), role);
        b->setProperty("answer", answer);
        return b;
    };
    switch (type & 0x0F) {
    case 1:
        box.setDefaultButton(add("OK", QMessageBox::AcceptRole, answer_ok));
        box.setEscapeButton(add("Отмена", QMessageBox::RejectRole, answer_cancel));
        break;
    case 3:
        box.setDefaultButton(add("Да", QMessageBox::YesRole, answer_yes));
        add("Нет", QMessageBox::NoRole, answer_no);
        box.setEscapeButton(add("Отмена", QMessageBox::RejectRole, answer_cancel));
        break;
    case 4:
        box.setDefaultButton(add("Да", QMessageBox::YesRole, answer_yes));
        add("Нет", QMessageBox::NoRole, answer_no);
        break;
    default:
        box.setDefaultButton(add("OK", QMessageBox::AcceptRole, answer_ok));
        break;
    }
}

// A caption shows "&" as written, not as a mnemonic mark.
QString caption_of(const std::string& text) {
    return QString::fromStdString(text).replace("&", "&&");
}

void fill_menu(QMenu& menu, const std::vector<menu_item>& items) {
    for (const menu_item& item : items) {
        if (item.separator) {
            menu.addSeparator();
        } else if (!item.items.empty()) {
            QMenu* sub = menu.addMenu(caption_of(item.text));
            sub->setEnabled(item.enabled);
            fill_menu(*sub, item.items);
        } else {
            QAction* action = menu.addAction(caption_of(item.text));
            action->setData(item.command);
            action->setEnabled(item.enabled);
            action->setCheckable(item.checked);
            action->setChecked(item.checked);
        }
    }
}

} // namespace

int qt_prompt::message_box(owner_handle owner, const std::string& text, const std::string& caption,
                           int type) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return answer_none;
    }
    QMessageBox box(icon_of(type), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::NoButton, static_cast<QWidget*>(owner));
    // Texts name files and signals; none of them is markup.
    box.setTextFormat(Qt::PlainText);
    add_buttons(box, type);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr)
        return (type & 0x0F) == 4 ? answer_no : answer_cancel;
    return clicked->property("answer").toInt();
}

int qt_prompt::popup_menu(owner_handle owner, const std::vector<menu_item>& items) {
    if (QApplication::instance() == nullptr)
        return 0;
    QMenu menu(static_cast<QWidget*>(owner));
    fill_menu(menu, items);
    QAction* chosen = menu.exec(QCursor::pos());
    return chosen != nullptr ? chosen->data().toInt() : 0;
}

} // namespace nxkit
