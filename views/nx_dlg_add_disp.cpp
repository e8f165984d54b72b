#include "views/nx_dlg_add_disp.h"

#include "base/prompt.h"
#include "views/bind_choices.h"

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace nxkit {

namespace {

constexpr int icon_size = 32;
constexpr int bind_icon = 1558;
constexpr int cancel_icon = 1538;

QString qt_text(const std::string& text) {
    return QString::fromStdString(text);
}

void fill(QComboBox* box, const std::vector<std::string>& items, const std::string& shown) {
    box->clear();
    for (const std::string& item : items)
        box->addItem(qt_text(item));
    int index = box->findText(qt_text(shown));
    if (index >= 0)
        box->setCurrentIndex(index);
    else if (box->isEditable())
        box->setEditText(qt_text(shown));
}

} // namespace

bind_dialog_layout lay_out_bind_dialog(const bind_dialog_metrics& m, int text_lines,
                                       int text_columns) {
    const int char_width = m.char_width;
    const int margin = char_width;
    const int gap = std::max(2, m.line_height / 4);
    // The frame and the document margin of the text box around its lines.
    const int frame = 6;
    const int row = m.line_height + 2 * frame - 4;
    const int label_width = m.label_width + char_width;
    const int button_width = 14 * char_width + icon_size / 2;
    const int button_height = std::max(row + 4, icon_size / 2 + 10);
    const int columns = text_columns + 2;

    bind_dialog_layout l;
    l.icon = QRect(margin, margin, icon_size, icon_size);
    int left = l.icon.right() + 1 + margin;
    int width = std::clamp(columns, 60, 100) * char_width;
    l.text = QRect(left, margin, width, std::max(1, text_lines) * m.line_height + 2 * frame);
    int y = l.text.bottom() + 1 + margin;
    for (std::size_t i = 0; i < l.combos.size(); ++i) {
        l.labels[i] = QRect(left, y, label_width, row);
        l.combos[i] = QRect(left + label_width + gap, y, width - label_width - gap, row);
        y += row + gap;
    }
    y += margin - gap;
    int right = left + width;
    l.cancel_button = QRect(right - button_width, y, button_width, button_height);
    l.bind_button =
        QRect(l.cancel_button.left() - margin - button_width, y, button_width, button_height);
    l.size = QSize(right + margin, y + button_height + margin);
    return l;
}

int wrapped_line_count(const QStringList& lines, const QFont& font, int width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    int count = 0;
    for (const QString& text : lines) {
        QTextLayout layout(text, font);
        layout.setTextOption(option);
        layout.beginLayout();
        int lines_here = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            ++lines_here;
        }
        layout.endLayout();
        count += std::max(1, lines_here);
    }
    return count;
}

nx_dlg_add_disp::nx_dlg_add_disp(bind_choices& choices, const std::string& text,
                                 const std::string& caption, const icon_source& icons,
                                 QWidget* parent, const bind_dialog_fonts& fonts)
    : QDialog(parent), choices_(choices) {
    if (fonts.dialog)
        setFont(*fonts.dialog);
    setWindowTitle(qt_text(caption));
    auto* icon = new QLabel(this);
    if (icons)
        icon->setPixmap(icons(bind_icon).pixmap(icon_size, icon_size));

    QString shown = qt_text(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    if (fonts.log)
        text_->setFont(*fonts.log);
    // Long lines wrap: nothing of the explanation is cut or hidden behind a scroll bar.
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text_->setPlainText(shown);

    const char* label_texts[] = {"Свойство", "Значение ВКЛ.", "Значение ОТКЛ.", "Шаблон"};
    for (std::size_t i = 0; i < combos_.size(); ++i) {
        labels_[i] = new QLabel(QString::fromUtf8(label_texts[i]), this);
        combos_[i] = new QComboBox(this);
        // The property is picked from the type's list; values and templates may be typed.
        combos_[i]->setEditable(i != 0);
        combos_[i]->setInsertPolicy(QComboBox::NoInsert);
    }
    bind_ = new QPushButton(QStringLiteral("Привязать"), this);
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    if (icons) {
        bind_->setIcon(icons(bind_icon));
        cancel_->setIcon(icons(cancel_icon));
    }
    bind_->setDefault(true);
    connect(bind_, &QPushButton::clicked, this, [this] { press(answer_ok); });
    connect(cancel_, &QPushButton::clicked, this, [this] { press(answer_cancel); });

    fill(property_box(), choices_.property_names(), choices_.record().current_property);
    fill_values();
    fill(template_box(), choices_.templates(), choices_.name_template());
    connect(property_box(), &QComboBox::textActivated, this,
            [this](const QString& property) { property_chosen(property); });

    QFontMetrics metrics(font());
    bind_dialog_metrics m;
    m.char_width = metrics.averageCharWidth();
    m.line_height = QFontMetrics(text_->font()).lineSpacing();
    for (QLabel* label : labels_)
        m.label_width = std::max(m.label_width, label->sizeHint().width());
    QStringList lines = shown.split(QLatin1Char('\n'));
    qsizetype columns = 0;
    for (const QString& line : lines)
        columns = std::max(columns, line.size());
    // Laid out once for its width, then again with the lines the wrapping at that width makes.
    bind_dialog_layout l =
        lay_out_bind_dialog(m, static_cast<int>(lines.size()), static_cast<int>(columns));
    int inner = l.text.width() - 2 * text_->frameWidth() -
                2 * static_cast<int>(text_->document()->documentMargin()) - 2;
    int wrapped = wrapped_line_count(lines, text_->font(), inner);
    if (wrapped != lines.size())
        l = lay_out_bind_dialog(m, wrapped, static_cast<int>(columns));
    icon->setGeometry(l.icon);
    text_->setGeometry(l.text);
    for (std::size_t i = 0; i < combos_.size(); ++i) {
        labels_[i]->setGeometry(l.labels[i]);
        combos_[i]->setGeometry(l.combos[i]);
    }
    bind_->setGeometry(l.bind_button);
    cancel_->setGeometry(l.cancel_button);
    setFixedSize(l.size);
}

void nx_dlg_add_disp::property_chosen(const QString& property) {
    choices_.select_property(property.toStdString());
    fill_values();
}

void nx_dlg_add_disp::fill_values() {
    const element_type& record = choices_.record();
    fill(on_box(), choices_.values(), record.current_on);
    fill(off_box(), choices_.values(), record.current_off);
}

void nx_dlg_add_disp::press(int answer) {
    choices_.take(property_box()->currentText().toStdString(),
                  on_box()->currentText().toStdString(), off_box()->currentText().toStdString(),
                  template_box()->currentText().toStdString());
    done(answer);
}

void nx_dlg_add_disp::reject() {
    press(answer_cancel);
}

} // namespace nxkit
