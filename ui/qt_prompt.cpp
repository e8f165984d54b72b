#include "ui/qt_prompt.h"

#include "ui/wait_cursor.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPainter>
#include <QPrinter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionMenuItem>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

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

// The menus' lines are columns split at "\t", and the style draws the part after the tab as a
// shortcut in the menu's own font: a bold (default) line would be bold only up to the tab.
// Painting starts in the line's own font, and the line is made wide enough for it.
class menu_style : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (element != CE_MenuItem || item == nullptr) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The column after the tab starts earlier by what its bold text needs more.
        QStyleOptionMenuItem line = *item;
        line.reservedShortcutWidth += extra_width(line, widget);
        painter->save();
        painter->setFont(line_font(line));
        QProxyStyle::drawControl(element, &line, painter, widget);
        painter->restore();
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type == CT_MenuItem && item != nullptr)
            result.rwidth() += extra_width(*item, widget);
        return result;
    }

private:
    static QFont line_font(const QStyleOptionMenuItem& item) {
        QFont font = item.font;
        if (item.menuItemType == QStyleOptionMenuItem::DefaultItem)
            font.setBold(true);
        return font;
    }

    // The menu measures the text after the tab in its own font.
    static int extra_width(const QStyleOptionMenuItem& item, const QWidget* widget) {
        qsizetype tab = item.text.indexOf('\t');
        if (tab < 0 || widget == nullptr)
            return 0;
        QString after = item.text.mid(tab + 1);
        return std::max(0, QFontMetrics(line_font(item)).horizontalAdvance(after) -
                               widget->fontMetrics().horizontalAdvance(after));
    }
};

} // namespace

std::unique_ptr<QStyle> make_menu_style() {
    return std::make_unique<menu_style>();
}

void fill_menu(QMenu& menu, const std::vector<menu_item>& items, QStyle* style) {
    if (style != nullptr)
        menu.setStyle(style);
    for (const menu_item& item : items) {
        if (item.separator) {
            menu.addSeparator();
        } else if (!item.items.empty()) {
            QMenu* sub = menu.addMenu(caption_of(item.text));
            sub->setEnabled(item.enabled);
            sub->menuAction()->setCheckable(item.checked);
            sub->menuAction()->setChecked(item.checked);
            if (item.is_default) {
                QFont bold = sub->menuAction()->font();
                bold.setBold(true);
                sub->menuAction()->setFont(bold);
            }
            fill_menu(*sub, item.items, style);
        } else {
            QAction* action = menu.addAction(caption_of(item.text));
            action->setData(item.command);
            action->setEnabled(item.enabled);
            action->setCheckable(item.checked);
            action->setChecked(item.checked);
            if (item.is_default) {
                QFont bold = action->font();
                bold.setBold(true);
                action->setFont(bold);
                menu.setDefaultAction(action);
            }
        }
    }
}

namespace {

// The answer of a box closed without a button: its cancel, or its no when it has no cancel.
int dismissed_answer(int type) {
    return (type & 0x0F) == 4 ? answer_no : answer_cancel;
}

} // namespace

qt_prompt::qt_prompt() = default;
qt_prompt::~qt_prompt() = default;

void qt_prompt::close_all() {
    closing_ = true;
    if (QApplication::instance() == nullptr)
        return;
    // Innermost first; each one closed lets the nested loop under it end too.
    for (int round = 0; round < 64; ++round) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        } else if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        } else {
            break;
        }
    }
}

int qt_prompt::message_box(owner_handle owner, const std::string& text, const std::string& caption,
                           int type) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return answer_none;
    }
    if (closing_)
        return dismissed_answer(type);
    QMessageBox box(icon_of(type), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::NoButton, static_cast<QWidget*>(owner));
    // Texts name files and signals; none of them is markup.
    box.setTextFormat(Qt::PlainText);
    add_buttons(box, type);
    fit_caption(box);
    prompt_cursor cursor;
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr)
        return dismissed_answer(type);
    return clicked->property("answer").toInt();
}

int qt_prompt::popup_menu(owner_handle owner, const std::vector<menu_item>& items) {
    if (QApplication::instance() == nullptr)
        return 0;
    return run_menu(static_cast<QWidget*>(owner), QCursor::pos(), items);
}

int qt_prompt::run_menu(QWidget* owner, QPoint at, const std::vector<menu_item>& items) {
    if (closing_)
        return 0;
    if (!menu_style_)
        menu_style_ = make_menu_style();
    QMenu menu(owner);
    fill_menu(menu, items, menu_style_.get());
    prompt_cursor cursor;
    QMenu* outer = open_menu_;
    open_menu_ = &menu;
    QAction* chosen = menu.exec(at);
    open_menu_ = outer;
    return chosen != nullptr ? chosen->data().toInt() : 0;
}

void qt_prompt::update_open_menu(const std::vector<menu_item>& items) {
    if (open_menu_ == nullptr)
        return;
    open_menu_->clear();
    fill_menu(*open_menu_, items, menu_style_.get());
    open_menu_->adjustSize();
}

int qt_prompt::popup_menu_at(owner_handle owner, owner_handle anchor,
                             const std::vector<menu_item>& items) {
    auto* widget = static_cast<QWidget*>(anchor);
    if (QApplication::instance() == nullptr)
        return 0;
    if (widget == nullptr)
        return popup_menu(owner, items);
    return run_menu(static_cast<QWidget*>(owner), widget->mapToGlobal(QPoint(0, widget->height())),
                    items);
}

QPoint form_position(QPoint pointer, QSize size, const QRect& screen) {
    int x = pointer.x() - size.width();
    int y = pointer.y() - size.height() / 2;
    if (x < screen.left())
        x = pointer.x();
    if (y < screen.top())
        y = pointer.y();
    if (y + size.height() > screen.bottom() + 1)
        y = pointer.y() - size.height() / 2 - size.height();
    return {x, y};
}

QPoint form_frame_position(QPoint pointer, QSize client, const QMargins& frame,
                           const QRect& screen) {
    QSize outer = client.grownBy(frame);
    return form_position(pointer, outer, screen);
}

QMargins frame_margins(const QWidget* window) {
    if (window == nullptr || !window->isVisible())
        return {};
    QRect outer = window->frameGeometry();
    QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

int caption_width(const QString& caption, const QFont& font) {
    // The icon on the left and the minimise, maximise and close buttons on the right.
    constexpr int title_bar_room = 140;
    return QFontMetrics(font).horizontalAdvance(caption) + title_bar_room;
}

void fit_caption(QMessageBox& box) {
    // A message box sizes itself to its text; a spacer as wide as the caption keeps the
    // title bar from cutting the caption.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr)
        return;
    QFont title_font = QApplication::font("QMdiSubWindowTitleBar");
    int width = caption_width(box.windowTitle(), title_font);
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

QSize form_size(const form_request& form, int letter_width, int font_height, int min_button_width,
                int button_row_height) {
    int unit = std::max(11 * letter_width, min_button_width);
    int lines = 0;
    for (std::size_t at = form.text.find("\r\n"); at != std::string::npos;
         at = form.text.find("\r\n", at + 2))
        ++lines;
    int buttons = std::max<int>(4, static_cast<int>(form.buttons.size()));
    return {buttons * unit + 7, lines * 2 * font_height + 3 + button_row_height};
}

QSize form_size_in(const form_request& form, const QFont& font) {
    QFontMetrics metrics(font);
    QPushButton probe;
    probe.setFont(font);
    return form_size(form, metrics.horizontalAdvance(QStringLiteral("А")), metrics.height(),
                     probe.minimumSizeHint().width(), probe.sizeHint().height() + 12);
}

int qt_prompt::modal_form(owner_handle owner, const form_request& form) {
    if (QApplication::instance() == nullptr) {
        std::fprintf(stderr, "%s: %s\n", form.title.c_str(), form.text.c_str());
        return 0;
    }
    if (closing_)
        return 0;
    QDialog dialog(static_cast<QWidget*>(owner));
    if (dialog_font_)
        dialog.setFont(*dialog_font_);
    dialog.setWindowTitle(QString::fromStdString(form.title));
    auto* column = new QVBoxLayout(&dialog);
    column->setContentsMargins(3, 3, 3, 3);
    auto* top = new QHBoxLayout;
    column->addLayout(top);
    auto* mode = new QLabel(&dialog);
    if (icons_ && form.icon != 0)
        mode->setPixmap(icons_(form.icon).pixmap(32, 32));
    top->addWidget(mode, 0, Qt::AlignTop);
    auto* text = new QPlainTextEdit(&dialog);
    text->setReadOnly(true);
    QString shown = QString::fromStdString(form.text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text->setPlainText(shown);
    top->addWidget(text, 1);
    auto* row = new QHBoxLayout;
    column->addLayout(row);
    int answer = 0;
    for (const form_button& b : form.buttons) {
        auto* button = new QPushButton(QString::fromStdString(b.text), &dialog);
        if (icons_ && b.icon != 0)
            button->setIcon(icons_(b.icon));
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &answer, b] {
            answer = b.answer;
            dialog.accept();
        });
        row->addWidget(button);
    }
    QSize size = form_size_in(form, dialog.font());
    dialog.resize(size);
    QPoint pointer = QCursor::pos();
    // The form is not on screen yet, so its border is taken as the owner's window has it;
    // placed before it exists, the position is that of the frame.
    QWidget* owner_window = owner != nullptr ? static_cast<QWidget*>(owner)->window() : nullptr;
    QMargins assumed = frame_margins(owner_window);
    if (QScreen* screen = QGuiApplication::screenAt(pointer)) {
        QRect area = screen->availableGeometry();
        // The buttons may need more than the rule gives; the form is as large as it is drawn.
        QSize client = size.expandedTo(dialog.minimumSizeHint());
        dialog.move(form_frame_position(pointer, client, assumed, area));
        // Once on screen the frame is known as it is (the window manager's border, or none
        // known before without an owner): it is moved to its place when it is elsewhere.
        QTimer::singleShot(100, &dialog, [&dialog, pointer, area] {
            QRect frame = dialog.frameGeometry();
            QPoint at = form_position(pointer, frame.size(), area);
            if (at != frame.topLeft())
                dialog.move(at);
        });
    }
    prompt_cursor cursor;
    dialog.exec();
    return answer;
}

std::string qt_prompt::save_file_name(owner_handle owner, const std::string& caption,
                                      const std::string& suggested, const std::string& filter) {
    if (QApplication::instance() == nullptr || closing_)
        return {};
    QString name = QFileDialog::getSaveFileName(
        static_cast<QWidget*>(owner), QString::fromStdString(caption),
        QString::fromStdString(suggested), QString::fromStdString(filter));
    return name.toStdString();
}

std::string qt_prompt::open_file_name(owner_handle owner, const std::string& caption,
                                      const std::string& filter) {
    if (QApplication::instance() == nullptr || closing_)
        return {};
    QString name =
        QFileDialog::getOpenFileName(static_cast<QWidget*>(owner), QString::fromStdString(caption),
                                     QString(), QString::fromStdString(filter));
    return name.toStdString();
}

bool qt_prompt::print_setup(owner_handle owner, void* printer) {
    if (QApplication::instance() == nullptr || printer == nullptr || closing_)
        return false;
    QPrintDialog dialog(static_cast<QPrinter*>(printer), static_cast<QWidget*>(owner));
    return dialog.exec() == QDialog::Accepted;
}

bool qt_prompt::ask_password(owner_handle owner, const std::string& caption,
                             const std::string& text, std::string& password) {
    if (QApplication::instance() == nullptr)
        return false;
    QInputDialog dialog(static_cast<QWidget*>(owner));
    dialog.setObjectName("password_dialog");
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.setLabelText(QString::fromStdString(text).replace("\r\n", "\n"));
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("Ввод"));
    dialog.setCancelButtonText(QStringLiteral("Отмена"));
    dialog.setMinimumWidth(380);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    password = dialog.textValue().toStdString();
    return true;
}

} // namespace nxkit
