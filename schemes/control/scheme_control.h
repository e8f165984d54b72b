#pragma once

// The scheme control: opens a .sde file, draws its pages with the element symbols and the
// styles of the style library, scrolls, scales, prints and raises the events its host needs.
// The host calls the operations below by name; drawn objects are handed out as pointers that
// stay valid until the next open.

#include "schemes/control/sde_document.h"
#include "schemes/control/style_library.h"

#include <QImage>
#include <QRectF>
#include <QRegion>
#include <QWidget>

#include <array>
#include <string>
#include <unordered_map>
#include <vector>

class QPainter;

class QComboBox;
class QLabel;
class QPrinter;
class QStatusBar;
class QToolBar;

namespace nxkit {

class scheme_canvas;

// Scale codes of set_scale that fit the page instead of naming a factor; `no_fit` marks a
// page shown at a factor.
enum fit_mode { fit_page = 0, fit_width = -1, fit_height = -2, no_fit = 1 };

// The factor that fits a page (units) into a view (pixels): whole page, width or height.
double fit_scale(int mode, double page_width, double page_height, double view_width,
                 double view_height);

// Paints `text` in a red band across the top of a printed page `width` pixels wide; returns
// the height it takes with a gap below. Shared by every printout of the what-if mode.
double paint_print_banner(QPainter& painter, double width, const QString& text);

class scheme_control : public QWidget {
    Q_OBJECT
public:
    explicit scheme_control(QWidget* parent = nullptr);
    ~scheme_control() override;

    // --- form
    // Opens a scheme file; a broken one raises nx_exception and leaves the shown scheme as it
    // was. The first open of the process brings the station's style library up to date.
    void open(const std::string& path);
    // The same from a text (tests, the tool).
    void open_text(const std::string& text, const std::string& name);
    const std::string& file_name() const { return file_; }
    void set_toolbar_visible(bool shown);
    void set_statusbar_visible(bool shown);
    bool toolbar_visible() const;
    bool statusbar_visible() const;
    // The platform's print dialog, then every page fitted to the paper.
    void print();
    void print_to(QPrinter& printer) const;
    // A text printed in a red band at the top of every page ("" for none): a scheme of values
    // that are not real is never printed without saying so.
    void set_print_banner(const QString& text) { print_banner_ = text; }
    const QString& print_banner() const { return print_banner_; }
    // The legend of the element types and styles, in a window of its own.
    void show_display_standard();

    // --- document
    std::vector<sde_object*> objects_by_property(const std::string& name, const std::string& value);
    // Null when none; "счетчик" with a decimal counter finds an object by its counter.
    sde_object* first_object(const std::string& name, const std::string& value);
    int page_count() const;
    // Index of the shown page (0-based), -1 without a scheme.
    int current_page() const { return current_; }
    void set_current_page(int index);
    // Shows the object's page and scrolls its centre to the middle of the view.
    void bring_into_view(const sde_object* object);
    // The object last brought into view, else the one nearest the middle of the view.
    sde_object* view_anchor();
    // Marks an object with a frame of `colour` (decimal RGB, red in the low byte); null clears.
    void mark(const sde_object* object, int colour, int mode);
    const sde_object* marked() const { return marked_; }
    // Property writes between these redraw once, at the end.
    void begin_batch();
    void end_batch();

    // --- drawn object
    static const std::string& type_name(const sde_object& o) { return o.type_name; }
    static int counter(const sde_object& o) { return o.counter; }
    static int page_of(const sde_object& o) { return o.page; }
    static double centre_x(const sde_object& o) { return o.x; }
    static double centre_y(const sde_object& o) { return o.y; }
    // left, top, right, bottom in page units.
    static std::array<double, 4> bounding_box(const sde_object& o);
    static std::string dispatcher_name_text(const sde_object& o);
    static std::string property_text(const sde_object& o, const std::string& name);

    // --- properties
    std::string property_value(const sde_object& o, const std::string& name) const;
    // "композитный_стиль": "+name" adds a style, "-name" removes it, "[]" removes all.
    void set_property(sde_object& o, const std::string& name, const std::string& value);

    // --- page (index as current_page)
    int page_number(int index) const;
    std::string page_title(int index) const;
    int scroll_x() const;
    int scroll_y() const;
    void set_scroll_x(int x);
    void set_scroll_y(int y);
    // Every page keeps its own scale; these two act on the shown page.
    double scale() const { return page_scale(current_); }
    // 0, -1 and -2 fit the page, its width or its height; the factor is readable afterwards.
    void set_scale(double scale);
    double page_scale(int index) const;
    void set_page_scale(int index, double scale);
    // The fit code a page was given (0, -1, -2), `no_fit` for a factor. A fitted page is
    // fitted again whenever it is shown or the view changes size.
    int page_fit(int index) const;
    // The view's size as it is without scroll bars (what fitting fills).
    QSize view_size() const;

    // --- for the host, the tool and tests
    const sde_scheme& document() const { return scheme_; }
    void set_styles(style_library_map styles);
    const style_library_map& styles() const { return styles_; }
    // The object under a point of the view (pixels) that reacts to the mouse.
    sde_object* object_at(QPoint view_point);
    // The page at a scale as the view draws it (blink phase of the shared clock).
    QImage render_page(int index, double scale) const;
    // Repaint requests made so far (one per write outside a batch, one per batch).
    int repaint_requests() const { return repaints_; }
    QWidget* view() const;

signals:
    // The shown page changed (the host restores its stored scale).
    void event12();
    // The pointer moved; the object under it (or null) and its position in the view.
    void event18(nxkit::sde_object* object, int x, int y);
    // A button was pressed over the view.
    void event26(nxkit::sde_object* object, int x, int y);
    // Escape was pressed in the view.
    void escape_pressed();

private:
    friend class scheme_canvas;
    QString print_banner_;
    void load(sde_scheme scheme, const std::string& name);
    void changed(const sde_object& o, const QRectF& before);
    void request(const QRegion& region);
    void refresh_blinking();
    void on_tick(unsigned tick);
    void update_status();
    void fill_pages();
    QRect to_view(const QRectF& units) const;
    sde_page* page_ptr(int index);

    sde_scheme scheme_;
    std::string file_;
    style_library_map styles_;
    bool own_styles_ = false;
    int current_ = -1;
    std::vector<double> scales_;
    std::vector<int> fits_;
    std::unordered_map<int, sde_object*> by_counter_;
    int batch_ = 0;
    QRect pending_;
    bool pending_any_ = false;
    int repaints_ = 0;
    const sde_object* marked_ = nullptr;
    QColor mark_colour_;
    const sde_object* last_shown_ = nullptr;
    // Blinking objects of the shown page and the delays their looks change by.
    std::vector<const sde_object*> blinking_;
    std::vector<int> blink_delays_;
    bool blink_dirty_ = true;
    bool holds_clock_ = false;

    scheme_canvas* canvas_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QComboBox* pages_box_ = nullptr;
    QStatusBar* status_ = nullptr;
    QLabel* status_label_ = nullptr;
};

} // namespace nxkit
