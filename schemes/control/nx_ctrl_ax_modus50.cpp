#include "schemes/control/nx_ctrl_ax_modus50.h"

#include "base/access.h"
#include "base/files.h"
#include "base/name_hash.h"
#include "base/nx_exception.h"
#include "base/settings.h"
#include "base/text.h"
#include "config/interfaces.h"
#include "config/ref_editing.h"
#include "config/ref_flags.h"
#include "config/ref_types.h"
#include "config/t_ref_buff.h"
#include "schemes/control/scheme_control.h"
#include "schemes/element_types.h"
#include "schemes/ilk/t_ilk_onof.h"
#include "schemes/t_el_onof.h"
#include "schemes/t_element.h"
#include "schemes/t_mod_group.h"
#include "schemes/t_mod_page.h"
#include "schemes/t_schema_modus50.h"
#include "structure/t_struct_vl.h"

#include <QApplication>
#include <QCursor>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

namespace nxkit {

namespace {

const char* const mouse_property = "реакция_на_мышь";
const char* const style_property = "композитный_стиль";

// The overview's guard measures intervals: a wall clock set back would block it.
long long now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether the file can be read at all: only then is a failed open worth another try.
bool readable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

} // namespace

scroll_settings read_scroll_settings() {
    scroll_settings s;
    s.to_point = settings_get_int("VIEW", "SCROLL_POINT", 0, true) != 0;
    s.time_ms = settings_get_int("VIEW", "SCROLL_TIME", 200, true);
    if (s.time_ms > 2000 || s.time_ms < 50)
        s.time_ms = 200;
    s.steps = settings_get_int("VIEW", "SCROLL_STEP_COUNT", 5, true);
    if (s.steps > 20 || s.steps <= 0)
        s.steps = 5;
    return s;
}

nx_ctrl_ax_modus50::nx_ctrl_ax_modus50(t_ref_buff& store, const element_type_table& types,
                                       const std::string& key, QWidget* parent)
    : QObject(parent), store_(store), types_(types), key_(key),
      control_(new scheme_control(parent)), scroll_(read_scroll_settings()),
      animation_timer_(new QTimer(this)) {
    control_->hide();
    // A copy made for the what-if mode holds values that are not real: its printouts say so.
    if (store.detached())
        control_->set_print_banner(QString::fromUtf8(whatif_banner_text));
    // Events become queued calls: nothing is handled inside the control's own call.
    connect(control_, &scheme_control::event12, this, [this] {
        if (opening_ == 0)
            QMetaObject::invokeMethod(
                this, [this] { on_event12(); }, Qt::QueuedConnection);
    });
    connect(control_, &scheme_control::event18, this, [this](sde_object* o, int x, int y) {
        if (opening_ == 0)
            on_event18(o, x, y);
    });
    connect(control_, &scheme_control::event26, this, [this](sde_object* o, int x, int y) {
        if (opening_ == 0)
            on_event26(o, x, y);
    });
    connect(control_, &scheme_control::escape_pressed, this, [this] {
        if (opening_ == 0)
            leave_overview();
    });
    connect(animation_timer_, &QTimer::timeout, this, [this] { step_animation(); });
}

nx_ctrl_ax_modus50::~nx_ctrl_ax_modus50() {
    delete control_;
}

t_schema_modus50* nx_ctrl_ax_modus50::scheme() {
    return dynamic_cast<t_schema_modus50*>(store_.get(key_));
}

std::string nx_ctrl_ax_modus50::schema_key() {
    return scheme() != nullptr ? key_ : std::string();
}

QWidget* nx_ctrl_ax_modus50::window_handle() {
    return control_;
}

void nx_ctrl_ax_modus50::show(i_viewer* target) {
    struct guard {
        int& n;
        explicit guard(int& c) : n(c) {
            ++n;
            if (QApplication::instance() != nullptr)
                QApplication::setOverrideCursor(Qt::WaitCursor);
        }
        ~guard() {
            --n;
            if (QApplication::instance() != nullptr)
                QApplication::restoreOverrideCursor();
        }
    } opening(opening_);
    marked_ = false;
    target_ = target;
    t_schema_modus50* s = scheme();
    if (s == nullptr)
        throw nx_exception("create_sch не удалось создать схему " + key_);
    control_->set_toolbar_visible(settings_get_int("MODUS", "TOOLBAR", 0, true) != 0);
    control_->set_statusbar_visible(settings_get_int("MODUS", "STATUSBAR", 0, true) != 0);
    std::string file = s->scheme_file();
    doc_prefix_ = "doc" + std::to_string(name_hash(file)) + "_";
    std::string path = scheme_folder() + file;
    if (file.empty() || !file_exists(path))
        throw nx_exception(s->full_path_text() + " файл схемы не найден:\r\n" + path);
    // Only input/output failures are retried: a file that parses badly stays bad.
    for (int attempt = 1;; ++attempt) {
        try {
            control_->open(path);
            break;
        } catch (const nx_exception&) {
            if (attempt >= 100 || readable(path))
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    zoom_command(4);
    s->init();
    // Pages, groups and elements go in as one batch: one rebuild of the store's tables, not
    // one per insertion (seconds each on a large station).
    batch_scope batch(store_);
    synchronise();
}

sde_object* nx_ctrl_ax_modus50::object_of(int rtid) {
    return control_->first_object("счетчик", std::to_string(rtid));
}

void nx_ctrl_ax_modus50::synchronise() {
    for (sde_object* o : control_->objects_by_property(mouse_property, "есть"))
        control_->set_property(*o, mouse_property, "нет");
    for (const std::string& name : types_.names())
        add_missing(name);
    t_schema_modus50* s = scheme();
    if (s == nullptr)
        return;
    std::string previous_type;
    element_type_ptr record;
    for (t_ref* r : store_.refs().under(key_)) {
        auto* element = dynamic_cast<t_element*>(r);
        if (element == nullptr)
            continue;
        sde_object* o = object_of(element->rtid());
        if (o == nullptr) {
            // Missing from the drawing: the operator may delete it now.
            element->set_flag(false, flag_no_delete);
            continue;
        }
        const std::string& type_name = scheme_control::type_name(*o);
        if (type_name != previous_type || !record) {
            record = types_.type_record(type_name);
            previous_type = type_name;
        }
        element->set_kind(record);
        if (record && !record->current_property.empty() &&
            control_->property_value(*o, record->current_property) == record->current_on)
            element->set_drawn_on(true);
        std::string name = trim(scheme_control::dispatcher_name_text(*o), ' ');
        if (name.empty())
            name = trim(scheme_control::property_text(*o, "текст"), ' ');
        element->set_disp_name(name);
        element->set_position(static_cast<int>(scheme_control::centre_x(*o)),
                              static_cast<int>(scheme_control::centre_y(*o)));
        control_->set_property(*o, element_type_table::dispatcher_name_property(), name + "  ");
    }
    s->init();
    for (t_ref* r : store_.refs().under(key_)) {
        if (auto* group = dynamic_cast<t_mod_group*>(r)) {
            std::vector<t_ref*> children = store_.refs().children(group->key());
            t_element* first =
                children.empty() ? nullptr : dynamic_cast<t_element*>(children.front());
            if (first != nullptr && first->kind())
                group->set_image(first->kind()->image_off);
            if (first != nullptr && !first->has_flag(flag_no_delete)) {
                group->set_flag(false, flag_no_delete);
                group->set_image(1438);
            }
        } else if (auto* blocker = dynamic_cast<t_ilk_onof*>(r)) {
            t_element* element = s->find_element(blocker->rtid());
            if (element != nullptr && element->kind())
                blocker->set_image(element->kind()->image_off);
        }
    }
}

void nx_ctrl_ax_modus50::add_missing(const std::string& type_name) {
    std::vector<sde_object*> objects = control_->objects_by_property("имя_типа", type_name);
    if (objects.empty())
        return;
    t_schema_modus50* s = scheme();
    if (s == nullptr)
        return;
    std::map<int, std::string> pages; // page number -> key
    for (t_ref* child : store_.refs().children(key_))
        if (auto* page = dynamic_cast<t_mod_page*>(child))
            pages[page->rtid()] = page->key();
    std::string pending;
    std::string group_key;
    int previous_page = -1;
    auto flush = [&] {
        if (!pending.empty() && !group_key.empty())
            store_.insert_xml(group_key, pending, nullptr);
        pending.clear();
    };
    for (sde_object* o : objects) {
        control_->set_property(*o, mouse_property, "есть");
        int counter = scheme_control::counter(*o);
        if (s->find_element(counter) != nullptr)
            continue;
        std::string name = trim(scheme_control::dispatcher_name_text(*o), ' ');
        int page_number = scheme_control::page_of(*o);
        if (page_number != previous_page) {
            flush();
            previous_page = page_number;
            std::string title;
            for (int i = 0; i < control_->page_count(); ++i)
                if (control_->page_number(i) == page_number)
                    title = control_->page_title(i);
            auto it = pages.find(page_number);
            if (it != pages.end() && store_.get(it->second) != nullptr) {
                if (auto* page = dynamic_cast<t_mod_page*>(store_.get(it->second)))
                    page->set_page_title(title);
            } else {
                std::vector<std::string> made;
                std::string xml = element_xml(tp_mod_page, page_number, title);
                store_.insert_xml(key_, xml, &made);
                if (made.empty())
                    throw nx_exception("не удалось добавить страницу '" + title + "'");
                pages[page_number] = made.front();
            }
            const std::string& page_key = pages[page_number];
            group_key.clear();
            for (t_ref* child : store_.refs().children(page_key))
                if (child->type() == tp_mod_group && child->title() == type_name)
                    group_key = child->key();
            if (group_key.empty()) {
                std::vector<std::string> made;
                store_.insert_xml(page_key, ref_xml(tp_mod_group, type_name), &made);
                if (made.empty())
                    throw nx_exception("не удалось добавить группу '" + type_name + "'");
                group_key = made.front();
            }
        }
        pending += element_xml(tp_element, counter, name);
    }
    flush();
}

void nx_ctrl_ax_modus50::notify_changed(const std::string& key) {
    auto* element = dynamic_cast<t_element*>(store_.get(key));
    if (element == nullptr)
        return;
    sde_object* o = object_of(element->rtid());
    if (o == nullptr)
        return;
    property_map properties;
    style_map styles;
    element->compute(properties, styles);
    control_->begin_batch();
    for (const auto& [name, value] : properties)
        control_->set_property(*o, name, value);
    for (const auto& [name, on] : styles)
        control_->set_property(*o, style_property, (on ? "+" : "-") + name);
    refresh_interlocks({});
    control_->end_batch();
}

void nx_ctrl_ax_modus50::write_highlight(bool on) {
    auto it = cache_.find(highlighted_);
    if (it == cache_.end())
        return;
    for (const auto& [counter, styles] : it->second) {
        sde_object* o = object_of(counter);
        if (o == nullptr)
            continue;
        for (const auto& [name, value] : styles)
            control_->set_property(*o, style_property, (on && value ? "+" : "-") + name);
    }
}

void nx_ctrl_ax_modus50::refresh_interlocks(const std::string& key) {
    write_highlight(false);
    t_ref* element = nullptr;
    if (key.empty()) {
        t_ref* h = highlighted_.empty() ? nullptr : store_.get(highlighted_);
        if (h == nullptr)
            return;
        element = h->parent();
    }
    cache_.clear();
    if (highlighted_ != requested_interlock_)
        highlighted_.clear();
    if (!key.empty()) {
        t_ref* r = store_.get(key);
        if (r == nullptr)
            return;
        if (r->type() == tp_ilk_onof) {
            highlighted_ = r->parent() != nullptr ? r->parent()->key() : std::string();
            element = r->parent() != nullptr ? r->parent()->parent() : nullptr;
        } else if (r->type() == tp_ilk) {
            highlighted_ = key;
            element = r->parent();
        } else {
            element = r;
        }
    }
    if (element == nullptr)
        return;
    for (t_ref* child : store_.refs().children(element->key())) {
        auto* ilk = dynamic_cast<t_ilk*>(child);
        if (ilk == nullptr)
            continue;
        styles_by_counter& styles = cache_[ilk->key()];
        if (ilk->evaluate(styles) && highlighted_.empty())
            highlighted_ = ilk->key();
    }
    if (highlighted_.empty() && !cache_.empty())
        highlighted_ = cache_.begin()->first;
    write_highlight(true);
}

void nx_ctrl_ax_modus50::highlight_interlock(const std::string& key) {
    write_highlight(false);
    requested_interlock_ = key;
    highlighted_ = key;
    write_highlight(true);
}

void nx_ctrl_ax_modus50::show_component(const std::string& key) {
    last_go_to_.clear();
    t_ref* r = store_.get(key);
    if (auto* sel = dynamic_cast<t_rtid_sel*>(r)) {
        last_go_to_ = key;
        if (sde_object* o = object_of(sel->rtid())) {
            control_->bring_into_view(o);
            requested_interlock_.clear();
            refresh_interlocks(key);
        }
    } else if (r != nullptr && r->type() == tp_ilk) {
        requested_interlock_ = key;
        refresh_interlocks(key);
    }
}

void nx_ctrl_ax_modus50::mark(const std::string& key) {
    auto* sel = dynamic_cast<t_rtid_sel*>(store_.get(key));
    if (sel == nullptr)
        return;
    if (sde_object* o = object_of(sel->rtid())) {
        control_->mark(o, 255, 0);
        marked_ = true;
    }
}

bool nx_ctrl_ax_modus50::command_enabled(int code) {
    if (code == 1)
        return control_->current_page() >= 0 && control_->scale() != 1.0;
    return true;
}

void nx_ctrl_ax_modus50::zoom_command(int code) {
    if (code == 7) {
        // Entered from the button, the overview is left by a press or Escape, not by the
        // first move away from some object pressed long ago.
        last_counter_ = 0;
        overview_toggle(-1, -1, now_ms());
        return;
    }
    if (code == 50) {
        control_->print();
        return;
    }
    if (code == 51) {
        control_->show_display_standard();
        return;
    }
    if (control_->current_page() < 0)
        return;
    auto stored = [this](int index) {
        return settings_get_double(
            "SHEMA_ZOOM", doc_prefix_ + std::to_string(control_->page_number(index)), 1, false);
    };
    if (code == 4) {
        for (int i = control_->page_count() - 1; i >= 0; --i)
            control_->set_page_scale(i, stored(i));
        return;
    }
    int page = control_->current_page();
    if (code == 6) {
        control_->set_page_scale(page, stored(page));
        return;
    }
    double s = control_->scale();
    if (code == 5) {
        if (s == last_scale_)
            return;
        last_scale_ = s;
        if (sde_object* anchor = control_->view_anchor())
            control_->bring_into_view(anchor);
        return;
    }
    if (code == 2)
        s = s + s / 10;
    else if (code == 3)
        s = s - s / 10;
    else
        s = code;
    sde_object* anchor = control_->view_anchor();
    control_->set_scale(s);
    if (anchor != nullptr)
        control_->bring_into_view(anchor);
    // A fit is stored as its code, so the page is fitted again after a resize, a tab change
    // or a restart; a factor as the factor the control took.
    bool fit = code == fit_page || code == fit_width || code == fit_height;
    settings_set_double("SHEMA_ZOOM", doc_prefix_ + std::to_string(control_->page_number(page)),
                        fit ? code : control_->scale());
    zoomed_out_ = false;
}

void nx_ctrl_ax_modus50::overview_toggle(int x, int y, long long now) {
    // A clock behind the last toggle cannot tell the interval: the toggle is taken.
    if (now >= last_toggle_ms_ && now - last_toggle_ms_ < 300)
        return;
    if (control_->current_page() < 0)
        return;
    if (zoomed_out_ && x >= 0) {
        double v = control_->scale();
        double page_x = (x + control_->scroll_x()) / v / 8;
        double page_y = (y + control_->scroll_y()) / v / 8;
        if (!scroll_.to_point) {
            x = control_->view_size().width() / 2;
            y = control_->view_size().height() / 2;
        }
        animation_.clear();
        for (int i = 1; i <= scroll_.steps; ++i) {
            double scale =
                i == scroll_.steps ? saved_scale_ : v + (saved_scale_ - v) * i / scroll_.steps;
            animation_.push_back({page_x * 8 * scale - x, page_y * 8 * scale - y, scale});
        }
        step_animation();
        if (!animation_.empty())
            animation_timer_->start(scroll_.time_ms / scroll_.steps);
        zoomed_out_ = false;
    } else if (!zoomed_out_) {
        saved_scale_ = control_->scale();
        saved_fit_ = control_->page_fit(control_->current_page());
        control_->set_scale(fit_page);
        if (control_->scale() < saved_scale_)
            zoomed_out_ = true;
        else
            control_->set_scale(saved_fit_ != no_fit ? saved_fit_ : saved_scale_);
    }
    last_toggle_ms_ = now;
}

void nx_ctrl_ax_modus50::step_animation() {
    if (animation_.empty()) {
        animation_timer_->stop();
        return;
    }
    step s = animation_.front();
    animation_.pop_front();
    control_->set_scale(s.scale);
    control_->set_scroll_x(static_cast<int>(s.x));
    control_->set_scroll_y(static_cast<int>(s.y));
    if (animation_.empty()) {
        animation_timer_->stop();
        // A fitted page keeps its fit after the overview (same factor, refitted on resize).
        if (saved_fit_ != no_fit)
            control_->set_page_scale(control_->current_page(), saved_fit_);
    }
}

void nx_ctrl_ax_modus50::leave_overview() {
    if (!zoomed_out_)
        return;
    QSize view = control_->view_size();
    overview_toggle(view.width() / 2, view.height() / 2, now_ms());
}

bool nx_ctrl_ax_modus50::pointer_test(const sde_object* object, int x, int y) {
    if (object != nullptr && scheme_control::counter(*object) != last_counter_) {
        last_counter_ = scheme_control::counter(*object);
        return true;
    }
    // Over empty space the last object decides; without one there is nothing to leave.
    const sde_object* near = object != nullptr ? object : object_of(last_counter_);
    if (near == nullptr)
        return true;
    double scale = control_->scale();
    double px = (x + control_->scroll_x()) / scale / 8;
    double py = (y + control_->scroll_y()) / scale / 8;
    auto box = scheme_control::bounding_box(*near);
    double w = box[2] - box[0];
    double h = box[3] - box[1];
    // A box three times the object's size around its centre.
    return std::abs(px - scheme_control::centre_x(*near)) <= 1.5 * w &&
           std::abs(py - scheme_control::centre_y(*near)) <= 1.5 * h;
}

void nx_ctrl_ax_modus50::on_event12() {
    zoom_command(6);
}

// Pointer events come over empty space too (null object): moving away from the last object
// leaves the overview, and a press on empty space clears the mark.
void nx_ctrl_ax_modus50::on_event18(sde_object* object, int x, int y) {
    if (pointer_test(object, x, y))
        return;
    QMetaObject::invokeMethod(
        this,
        [this, x, y] {
            if (zoomed_out_)
                overview_toggle(x, y, now_ms());
        },
        Qt::QueuedConnection);
}

void nx_ctrl_ax_modus50::on_event26(sde_object* object, int x, int y) {
    int counter =
        object != nullptr && pointer_test(object, x, y) ? scheme_control::counter(*object) : 0;
    // A press on empty space only leaves the overview; it never enters it.
    QMetaObject::invokeMethod(
        this,
        [this, x, y, on_object = object != nullptr] {
            if (on_object || zoomed_out_)
                overview_toggle(x, y, now_ms());
        },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this, counter] { clicked(counter); }, Qt::QueuedConnection);
}

void nx_ctrl_ax_modus50::clicked(int counter) {
    if (counter == 0) {
        if (marked_) {
            marked_ = false;
            control_->mark(nullptr, 0, 0);
            auto* sel = dynamic_cast<t_rtid_sel*>(store_.get(last_go_to_));
            if (sel != nullptr)
                if (sde_object* o = object_of(sel->rtid()))
                    control_->bring_into_view(o);
        }
        return;
    }
    t_schema_modus50* s = scheme();
    t_element* element = s != nullptr ? s->find_element(counter) : nullptr;
    if (element == nullptr || target_ == nullptr)
        return;
    std::string key = element->key();
    if (key == last_go_to_) {
        target_->choose(key);
        target_->element_menu(0);
        return;
    }
    target_->choose(key);
    acknowledge(*element);
}

void nx_ctrl_ax_modus50::acknowledge(t_element& element) {
    for (t_el* rule : element.rules()) {
        auto* onof = dynamic_cast<t_el_onof*>(rule);
        if (onof == nullptr)
            continue;
        for (const std::string* condition : {&onof->off_condition(), &onof->on_condition()}) {
            key_set used;
            store_.used_components(*condition, used);
            for (const std::string& k : used) {
                auto* signal = dynamic_cast<t_struct_vl*>(store_.get(k));
                if (signal == nullptr || !signal->unacknowledged())
                    continue;
                signal->set_flag(false, flag_unacknowledged);
                signal->set_flag(true, flag_change_pending);
                store_.mark_changed(k);
                audit_action("квитирование на схеме", k);
            }
        }
    }
}

} // namespace nxkit
