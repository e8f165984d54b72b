#pragma once

#include "ui/ui_resources.h"

#include <QLabel>
#include <QLayout>
#include <QList>
#include <QRect>
#include <QStringList>
#include <QTimer>
#include <QToolButton>

#include <string>
#include <vector>

class QFontMetrics;

namespace nxkit {

// The toolbar's buttons in creation order.
enum class toolbar_button {
    reload,
    save,
    devs,
    strs,
    schema,
    hint,
    con,
    edit,
    editor_grid,
    mes,
    cancel_hand,
    cvit_all,
    log,
    print,
    zoom_in,
    zoom_out,
    zoom_x,
    zoom_y,
    zoom_full,
    zoom_100,
    mod_std,
    scroll_hand,
    journal_next,
    journal_last,
    journal_previous,
    journal_first,
};

struct button_spec {
    toolbar_button button;
    // The key under BTNS_VIEW and BTNS_EDIT; empty for the journal's buttons.
    const char* identifier;
    const char* caption;
    const char* tooltip;
    // A two-state button shows `on` while pressed and `off` while released; a push button has
    // off 0. disabled 0: the picture is greyed while disabled.
    int on;
    int off;
    int disabled;
    bool two_state;
    // Scheme command of the nine scheme buttons, journal direction of the four journal
    // buttons; 0 otherwise (scheme command 0 is "Полностью": see has_command).
    int command;
    bool has_command;
};

const std::vector<button_spec>& toolbar_table();
const button_spec& spec_of(toolbar_button button);

// Where a toolbar button of `size` draws its picture and its caption: the picture on the side
// `layout.align` gives, the caption in the space the picture leaves (beside it for left or
// right, else above or below it); `text` is empty when not one line of `line_height` fits.
struct button_parts {
    QRect icon;
    QRect text;
};
button_parts toolbar_button_parts(const button_layout& layout, QSize size, int line_height);

// A caption broken at blanks into lines no wider than `width`; a word wider than that stays
// whole on its own line (clipped when drawn, never elided).
QStringList wrapped_caption(const QString& text, const QFontMetrics& metrics, int width);

// A toolbar button drawn as the layout says, its caption word-wrapped.
class toolbar_tool_button : public QToolButton {
public:
    toolbar_tool_button(const button_layout& layout, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    button_layout layout_;
};

// Lays its items out left to right and starts a new row when the next one does not fit, so a
// narrow window shows every toolbar button in two rows instead of hiding some.
class flow_layout : public QLayout {
public:
    flow_layout(QWidget* parent, int spacing);
    ~flow_layout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    // The rows the shown items take at `width`.
    int rows_at(int width) const;

private:
    // Places the items in `rect` when `apply`; returns the height used.
    int arrange(const QRect& rect, bool apply, int* rows = nullptr) const;

    QList<QLayoutItem*> items_;
    int spacing_;
};

// The toolbar's tooltip: at most `max_width` pixels wide (longer texts wrap), hidden after
// `hide_ms` or when the pointer leaves the button, shown at once for the next button while one
// is up; drawn as a balloon (rounded, with a pointer at the button) when asked.
class hint_popup : public QLabel {
public:
    static constexpr int max_width = 200;
    static constexpr int hide_ms = 32767;
    static constexpr int reshow_ms = 1;
    // Moving on to the next button within this time counts as moving while the hint is up.
    static constexpr int reshow_window_ms = 500;

    hint_popup();
    void show_hint(const QString& text, QWidget* button, bool balloon);
    void hide_hint();
    bool balloon() const { return balloon_; }
    int hide_interval() const { return hide_timer_.interval(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QTimer hide_timer_;
    bool balloon_ = false;
};

} // namespace nxkit
