#include "trends/display/trend_window.h"

#include "base/nx_time.h"
#include "base/prompt.h"
#include "config/ref_flags.h"
#include "config/t_ref_buff.h"
#include "structure/t_struct_ti.h"
#include "structure/t_struct_ts.h"
#include "structure/t_struct_vl.h"
#include "trends/memory_series_source.h"
#include "trends/trend_csv.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace nxkit {

namespace {

constexpr std::int64_t hour_ms = 3600 * 1000;
// The shortest span a zoom goes down to, and the longest.
constexpr std::int64_t min_span_ms = 10 * 1000;
constexpr std::int64_t max_span_ms = 366LL * 24 * hour_ms;

std::int64_t span_of(trend_range range) {
    switch (range) {
    case trend_range::hour:
        return hour_ms;
    case trend_range::day:
        return 24 * hour_ms;
    case trend_range::week:
        return 7 * 24 * hour_ms;
    case trend_range::custom:
        break;
    }
    return hour_ms;
}

std::int64_t system_now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::uint32_t quality_of(const t_struct_vl& s) {
    std::uint32_t q = 0;
    if (!s.defined() || s.invalid())
        q |= quality_invalid;
    if (!s.control())
        q |= quality_no_control;
    if (s.manual())
        q |= quality_manual;
    return q;
}

bool write_file(const std::string& path, const std::string& text) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
               static_cast<qint64>(text.size()) &&
           file.flush();
}

} // namespace

std::int64_t utc_ms_of_local(double local_time) {
    if (local_time <= 100.0)
        return 0;
    nx_time_fields f = time_decode(local_time);
    QDateTime t(QDate(f.year, f.month, f.day), QTime(f.hour, f.minute, f.second, f.millisecond),
                Qt::LocalTime);
    return t.isValid() ? t.toMSecsSinceEpoch() : 0;
}

std::int64_t local_offset_ms(std::int64_t time_ms) {
    return static_cast<std::int64_t>(QDateTime::fromMSecsSinceEpoch(time_ms).offsetFromUtc()) *
           1000;
}

trend_window::trend_window(t_ref_buff& store, memory_series_source& memory,
                           archive_series_source* archive, QWidget* parent, clock now)
    : QWidget(parent, Qt::Window), store_(store), memory_(memory), archive_(archive),
      clock_(std::move(now)) {
    setWindowTitle(QStringLiteral("График"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(900, 520);

    range_box_ = new QComboBox(this);
    range_box_->addItems({QStringLiteral("Последний час"), QStringLiteral("Последние сутки"),
                          QStringLiteral("Последняя неделя"), QStringLiteral("Произвольный")});
    from_edit_ = new QDateTimeEdit(this);
    to_edit_ = new QDateTimeEdit(this);
    for (QDateTimeEdit* e : {from_edit_, to_edit_}) {
        e->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm"));
        e->setCalendarPopup(true);
        e->setEnabled(false);
    }
    signal_edit_ = new QLineEdit(this);
    signal_edit_->setPlaceholderText(QStringLiteral("сигнал"));
    signal_edit_->setMaximumWidth(90);
    auto* add = new QPushButton(QStringLiteral("Добавить"), this);
    auto* png = new QPushButton(QStringLiteral("PNG..."), this);
    auto* csv = new QPushButton(QStringLiteral("CSV..."), this);
    auto* print = new QPushButton(QStringLiteral("Печать..."), this);
    status_ = new QLabel(this);

    auto* top = new QHBoxLayout;
    top->addWidget(range_box_);
    top->addWidget(from_edit_);
    top->addWidget(new QLabel(QStringLiteral("—"), this));
    top->addWidget(to_edit_);
    top->addSpacing(12);
    top->addWidget(signal_edit_);
    top->addWidget(add);
    top->addStretch(1);
    top->addWidget(png);
    top->addWidget(csv);
    top->addWidget(print);
    plot_ = new trend_plot(*this, this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top);
    layout->addWidget(plot_, 1);
    layout->addWidget(status_);

    connect(range_box_, &QComboBox::activated, this, [this] { range_chosen(); });
    connect(from_edit_, &QDateTimeEdit::editingFinished, this, [this] { range_chosen(); });
    connect(to_edit_, &QDateTimeEdit::editingFinished, this, [this] { range_chosen(); });
    connect(signal_edit_, &QLineEdit::returnPressed, this, [this] { add_typed_signal(); });
    connect(add, &QPushButton::clicked, this, [this] { add_typed_signal(); });
    connect(png, &QPushButton::clicked, this, [this] { export_png_asked(); });
    connect(csv, &QPushButton::clicked, this, [this] { export_csv_asked(); });
    connect(print, &QPushButton::clicked, this, [this] { print_asked(); });

    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    timer_->start();

    store_.add_viewer(this);
    set_range(trend_range::hour);
    // The operator adds a signal by typing its key and Enter.
    signal_edit_->setFocus();
}

trend_window::~trend_window() {
    store_.remove_viewer(this);
    for (const std::string& key : subscribed_)
        store_.unsubscribe_subtree(key, this);
}

std::int64_t trend_window::now() const {
    return clock_ ? clock_() : system_now();
}

bool trend_window::add_signal(const std::string& signal_key) {
    if (std::any_of(signals_.begin(), signals_.end(),
                    [&](const trend_signal& s) { return s.key == signal_key; }))
        return false;
    std::string key = store_.signal_owner(signal_key);
    t_ref* component = key.empty() ? nullptr : store_.get(key);
    bool step = dynamic_cast<t_struct_ts*>(component) != nullptr;
    auto* signal = dynamic_cast<t_struct_vl*>(component);
    if (signal == nullptr || (!step && dynamic_cast<t_struct_ti*>(component) == nullptr))
        return false;
    trend_signal s;
    s.key = signal_key;
    s.title = signal->title().empty() ? signal_key : signal_key + " " + signal->title();
    s.step = step;
    s.color = trend_color(static_cast<int>(signals_.size()));
    signals_.push_back(std::move(s));
    read_valid_ = false;
    // What it shows now is its first sample, so the line starts at once.
    record(key);
    subscribe();
    reload();
    return true;
}

void trend_window::add_typed_signal() {
    std::string key = signal_edit_->text().trimmed().toStdString();
    if (key.empty())
        return;
    if (add_signal(key)) {
        signal_edit_->clear();
        status_->clear();
    } else {
        status_->setText(QStringLiteral("Нет такого ТИ или ТС: ") + QString::fromStdString(key));
    }
}

void trend_window::subscribe() {
    for (const std::string& key : subscribed_)
        store_.unsubscribe_subtree(key, this);
    subscribed_.clear();
    for (const trend_signal& s : signals_) {
        std::string key = store_.signal_owner(s.key);
        if (key.empty())
            continue;
        store_.subscribe_subtree(key, this);
        subscribed_.push_back(key);
    }
}

void trend_window::record(const std::string& store_key) {
    auto* s = dynamic_cast<t_struct_vl*>(store_.get(store_key));
    if (s == nullptr)
        return;
    archive_sample sample;
    sample.value = s->value();
    sample.quality = quality_of(*s);
    // Other changes of the component (its acknowledgement, say) draw nothing new.
    if (archive_sample newest; memory_.newest(s->signal_key(), newest) &&
                               newest.value == sample.value && newest.quality == sample.quality)
        return;
    // A telesignal carries its device's time tag; a measurement has none of its own and is
    // taken at the moment seen, as is a telesignal never received.
    sample.time_ms = dynamic_cast<t_struct_ts*>(s) != nullptr ? utc_ms_of_local(s->time()) : 0;
    if (sample.time_ms == 0)
        sample.time_ms = now();
    memory_.add(s->signal_key(), sample);
}

void trend_window::on_changed(const std::string& key) {
    if (std::find(subscribed_.begin(), subscribed_.end(), key) == subscribed_.end())
        return;
    record(key);
    dirty_ = true;
}

void trend_window::on_changes_done() {
    if (dirty_ && live()) {
        dirty_ = false;
        reload();
    }
}

void trend_window::on_unload() {
    for (const std::string& key : subscribed_)
        store_.unsubscribe_subtree(key, this);
    subscribed_.clear();
}

void trend_window::on_load() {
    read_valid_ = false;
    subscribe();
    for (const std::string& key : subscribed_)
        record(key);
    reload();
}

void trend_window::set_range(trend_range range, std::int64_t from_ms, std::int64_t to_ms) {
    range_ = range;
    range_box_->setCurrentIndex(static_cast<int>(range));
    bool custom = range == trend_range::custom && to_ms > from_ms;
    from_edit_->setEnabled(range == trend_range::custom);
    to_edit_->setEnabled(range == trend_range::custom);
    if (custom) {
        range_from_ = from_ms;
        range_to_ = to_ms;
    } else if (range == trend_range::custom) {
        // Custom without its two times starts from what is shown.
        range_from_ = view_from_;
        range_to_ = view_to_;
    }
    reset_view();
}

void trend_window::range_chosen() {
    auto range = static_cast<trend_range>(range_box_->currentIndex());
    if (range != trend_range::custom) {
        set_range(range);
        return;
    }
    if (!from_edit_->isEnabled()) {
        set_range(trend_range::custom);
        return;
    }
    std::int64_t from = from_edit_->dateTime().toMSecsSinceEpoch();
    std::int64_t to = to_edit_->dateTime().toMSecsSinceEpoch();
    if (to > from)
        set_range(trend_range::custom, from, to);
}

void trend_window::reset_view() {
    if (range_ == trend_range::custom) {
        view_from_ = range_from_;
        view_to_ = range_to_;
    } else {
        view_to_ = now();
        view_from_ = view_to_ - span_of(range_);
    }
    follows_now_ = view_to_ >= now() - 1000;
    from_edit_->setDateTime(QDateTime::fromMSecsSinceEpoch(view_from_));
    to_edit_->setDateTime(QDateTime::fromMSecsSinceEpoch(view_to_));
    reload();
}

bool trend_window::live() const {
    return follows_now_;
}

void trend_window::zoom_at(int x, double factor) {
    trend_layout l = lay_out_trend(plot_->size(), 0);
    trend_frame f = frame();
    std::int64_t at = std::clamp(trend_time_at(l.plot, f, x), view_from_, view_to_);
    std::int64_t span = view_to_ - view_from_;
    auto new_span = static_cast<std::int64_t>(std::llround(static_cast<double>(span) * factor));
    new_span = std::clamp(new_span, min_span_ms, max_span_ms);
    double part = span > 0 ? static_cast<double>(at - view_from_) / static_cast<double>(span) : 1;
    view_from_ = at - static_cast<std::int64_t>(std::llround(part * static_cast<double>(new_span)));
    view_to_ = view_from_ + new_span;
    // A zoom around the right edge of a live view stays live.
    follows_now_ = follows_now_ && view_to_ >= now() - 1000;
    reload();
}

void trend_window::pan_pixels(int dx) {
    trend_layout l = lay_out_trend(plot_->size(), 0);
    std::int64_t span = view_to_ - view_from_;
    auto shift = static_cast<std::int64_t>(std::llround(
        static_cast<double>(dx) * static_cast<double>(span) / std::max(1, l.plot.width())));
    view_from_ -= shift;
    view_to_ -= shift;
    // Dragged up to now (or past it): the view follows now again.
    if (view_to_ >= now()) {
        view_to_ = now();
        view_from_ = view_to_ - span;
        follows_now_ = true;
    } else {
        follows_now_ = false;
    }
    reload();
}

void trend_window::set_cursor_at(int x, bool shown) {
    cursor_ = shown;
    if (shown) {
        trend_layout l = lay_out_trend(plot_->size(), 0);
        cursor_ms_ = trend_time_at(l.plot, frame(), x);
    }
    plot_->update();
}

trend_frame trend_window::frame() const {
    trend_frame f;
    f.from_ms = view_from_;
    f.to_ms = view_to_;
    f.now_ms = now();
    f.utc_offset_ms = local_offset_ms(view_from_);
    f.cursor = cursor_;
    f.cursor_ms = cursor_ms_;
    return f;
}

void trend_window::reload() {
    if (archive_ != nullptr) {
        bool fresh = read_valid_ && archive_read_.size() == signals_.size() &&
                     view_from_ >= read_from_ && view_to_ <= read_to_ + 10'000 &&
                     now() - read_at_ < 10'000;
        if (!fresh) {
            archive_read_.clear();
            for (const trend_signal& s : signals_)
                archive_read_.push_back(archive_->series(s.key, view_from_, view_to_));
            read_from_ = view_from_;
            read_to_ = view_to_;
            read_at_ = now();
            read_valid_ = true;
        }
    }
    for (std::size_t i = 0; i < signals_.size(); ++i) {
        trend_signal& s = signals_[i];
        if (archive_ == nullptr) {
            s.samples = memory_.series(s.key, view_from_, view_to_);
            continue;
        }
        s.samples = archive_read_[i];
        // What this window saw after the archive's newest sample joins its end.
        std::int64_t after = s.samples.empty() ? view_from_ : s.samples.back().time_ms + 1;
        for (const archive_sample& a : memory_.series(s.key, after, view_to_))
            if (a.time_ms >= after)
                s.samples.push_back(a);
    }
    plot_->update();
}

void trend_window::tick() {
    if (!follows_now_)
        return;
    std::int64_t span = view_to_ - view_from_;
    view_to_ = now();
    view_from_ = view_to_ - span;
    reload();
}

QImage trend_window::render(QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    paint_trend(p, size, frame(), signals_, font());
    return image;
}

bool trend_window::export_png(const std::string& path, QSize size) {
    QImage image = render(size.isValid() ? size : plot_->size());
    return image.save(QString::fromStdString(path), "PNG");
}

bool trend_window::export_csv(const std::string& path) {
    std::vector<trend_csv_series> series;
    for (const trend_signal& s : signals_)
        series.push_back({s.key, s.title, s.samples});
    return write_file(path, trend_csv(series, view_from_, view_to_, local_offset_ms(view_from_)));
}

void trend_window::export_png_asked() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    std::string path =
        prompt->save_file_name(this, "Сохранить график", "trend.png", "Рисунки PNG (*.png)");
    if (!path.empty() && !export_png(path))
        show_message(this, "Не удалось записать файл " + path, mb_error);
}

void trend_window::export_csv_asked() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    std::string path = prompt->save_file_name(this, "Сохранить значения графика", "trend.csv",
                                              "Файлы CSV (*.csv)");
    if (!path.empty() && !export_csv(path))
        show_message(this, "Не удалось записать файл " + path, mb_error);
}

void trend_window::print_asked() {
    i_prompt* prompt = current_prompt();
    if (prompt == nullptr)
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!prompt->print_setup(this, &printer))
        return;
    QPainter p(&printer);
    // Drawn at screen size and scaled to the page, so lines and texts keep their proportions.
    QRect page = p.viewport();
    QSize size(1400, std::max(400, 1400 * page.height() / std::max(1, page.width())));
    p.setWindow(QRect(QPoint(0, 0), size));
    paint_trend(p, size, frame(), signals_, font());
}

trend_plot::trend_plot(trend_window& window, QWidget* parent) : QWidget(parent), window_(window) {
    setMouseTracking(true);
    setMinimumSize(300, 200);
    setCursor(Qt::CrossCursor);
}

void trend_plot::paintEvent(QPaintEvent* event) {
    (void)event;
    QPainter p(this);
    paint_trend(p, size(), window_.frame(), window_.shown_signals(), font());
}

void trend_plot::wheelEvent(QWheelEvent* event) {
    int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    window_.zoom_at(static_cast<int>(event->position().x()), std::pow(0.8, steps));
    event->accept();
}

void trend_plot::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        drag_x_ = static_cast<int>(event->position().x());
    }
}

void trend_plot::mouseMoveEvent(QMouseEvent* event) {
    int x = static_cast<int>(event->position().x());
    if (dragging_ && x != drag_x_) {
        window_.pan_pixels(x - drag_x_);
        drag_x_ = x;
    }
    window_.set_cursor_at(x, true);
}

void trend_plot::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

void trend_plot::mouseDoubleClickEvent(QMouseEvent* event) {
    (void)event;
    dragging_ = false;
    window_.reset_view();
}

void trend_plot::leaveEvent(QEvent* event) {
    (void)event;
    window_.set_cursor_at(0, false);
}

} // namespace nxkit
