#pragma once

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QRect>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace nxkit {

class bind_choices;

// What the layout is computed from: the dialog font's average character width, the line height
// of the explanation box and the widest label.
struct bind_dialog_metrics {
    int char_width = 0;
    int line_height = 0;
    int label_width = 0;
};

// The fonts of the shared resources: the explanation in the log font, the rest in the dialog
// font (the platform's when not given).
struct bind_dialog_fonts {
    std::optional<QFont> log;
    std::optional<QFont> dialog;
};

// Where the bind dialog's parts go.
struct bind_dialog_layout {
    QRect icon;
    QRect text;
    // Property, on value, off value, template.
    std::array<QRect, 4> labels;
    std::array<QRect, 4> combos;
    QRect bind_button;
    QRect cancel_button;
    QSize size;
};
// The explanation box shows all `text_lines` lines (as wrapped); it is as wide as its longest
// line (`text_columns` characters) within 60 to 100 characters; longer lines wrap.
bind_dialog_layout lay_out_bind_dialog(const bind_dialog_metrics& m, int text_lines,
                                       int text_columns);

// The number of lines `lines` take in a box `width` pixels wide in `font`, long lines wrapped
// at word boundaries or anywhere, as the explanation box wraps them.
int wrapped_line_count(const QStringList& lines, const QFont& font, int width);

// The bind-to-scheme dialog: the explanation, the property and the on and off values of the
// sample type, the name template, and the buttons "Привязать" (1) and "Отмена" (2). Either
// button, and closing the window as "Отмена", hands the shown texts to the choices.
class nx_dlg_add_disp : public QDialog {
    Q_OBJECT
public:
    using icon_source = std::function<QIcon(int)>;
    nx_dlg_add_disp(bind_choices& choices, const std::string& text, const std::string& caption,
                    const icon_source& icons, QWidget* parent = nullptr,
                    const bind_dialog_fonts& fonts = {});

    QPlainTextEdit* text_box() const { return text_; }
    QComboBox* property_box() const { return combos_[0]; }
    QComboBox* on_box() const { return combos_[1]; }
    QComboBox* off_box() const { return combos_[2]; }
    QComboBox* template_box() const { return combos_[3]; }
    QPushButton* bind_button() const { return bind_; }
    QPushButton* cancel_button() const { return cancel_; }
    const std::array<QLabel*, 4>& labels() const { return labels_; }

    // Takes the texts into the choices and ends the dialog with `answer`.
    void press(int answer);
    void reject() override;

private:
    void property_chosen(const QString& property);
    void fill_values();

    bind_choices& choices_;
    QPlainTextEdit* text_ = nullptr;
    std::array<QComboBox*, 4> combos_{};
    std::array<QLabel*, 4> labels_{};
    QPushButton* bind_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace nxkit
