#pragma once

// The editor's drawing area: the page as the scheme control draws it, with the grid, the
// selection, terminals and what is being drawn on top. The painting is a plain function over
// the session so that tests and the benchmark render it into an image.

#include "schemes/control/scheme_painter.h"
#include "schemes/editor_window/editor_session.h"

#include <QImage>
#include <QPointF>
#include <QTransform>
#include <QWidget>

#include <optional>
#include <vector>

class QLineEdit;

namespace nxkit {

// The mime type of a palette entry dragged onto the page (the type name, UTF-8).
inline constexpr const char* element_type_mime = "application/x-ilkstation-element-type";
// The mime type of copied items (an .sde text with one page).
inline constexpr const char* scheme_items_mime = "application/x-ilkstation-scheme-items";

enum class editor_tool { select, wire, line, polyline, polygon, rect, ellipse, arc, text };

// Where the page lies in the widget: pixels per millimetre and the pixel of the page's origin.
struct canvas_view {
    double scale = 1; // as the scheme view's scale: 1 is 8 pixels a millimetre
    QPointF origin{20, 20};
    double unit() const { return scale * sde_pixels_per_unit; }
    QTransform transform() const;
    point to_page(QPointF pixel) const;
    QPointF to_pixel(point p) const;
};

// What is drawn over the page while the operator works.
struct canvas_overlay {
    bool show_grid = true;
    bool show_unconnected = false;
    // A wire being drawn: its start, bends and the pointer; terminals highlighted.
    bool drawing_wire = false;
    std::vector<point> wire_points;
    point pointer;
    std::optional<terminal_hit> target; // the terminal under the pointer
    // A figure being drawn (page units), a rubber band (page units).
    std::optional<sde_shape> figure;
    std::optional<page_box> band;
};

// The moving part of the page during a drag: painted offset over an image of the rest, so
// one frame costs the moving items only.
class drag_preview {
public:
    // Renders the page without the selection and the wires hanging on it.
    void begin(const editor_session& session, const canvas_view& view, QSize size,
               const paint_context& context, bool grid = true);
    void end() { active_ = false; }
    bool active() const { return active_; }
    // The background, then the moving items moved by (dx, dy) with their wires following.
    void paint(QPainter& p, const canvas_view& view, double dx, double dy,
               const paint_context& context) const;

private:
    bool active_ = false;
    QImage background_;
    sde_page moving_;
    std::vector<std::size_t> selected_; // places in `moving_` that move as a whole
    // What moves as a whole without stretching, painted once; the rest of `moving_` (wires
    // hanging on the selection) is painted for each frame.
    QImage rigid_;
    QPointF rigid_at_; // where its top left corner lies before the move (pixels)
    std::vector<bool> per_frame_;
};

// Paints the canvas: grey around the page, the page, the grid, selection marks, terminals
// and the overlay. With an active `drag`, the selection is drawn moved by (dx, dy).
void paint_canvas(QPainter& p, QSize size, const editor_session& session, const canvas_view& view,
                  const canvas_overlay& overlay, const paint_context& context,
                  const drag_preview* drag = nullptr, double dx = 0, double dy = 0);

class editor_canvas : public QWidget {
    Q_OBJECT
public:
    explicit editor_canvas(editor_session& session, QWidget* parent = nullptr);

    void set_tool(editor_tool tool);
    editor_tool tool() const { return tool_; }
    void set_show_unconnected(bool on);
    bool show_unconnected() const { return overlay_.show_unconnected; }
    void set_styles(const style_library_map* styles) { context_.styles = styles; }

    const canvas_view& view() const { return view_; }
    void set_scale(double scale);
    void zoom(double factor, QPointF around);
    // The whole page in view, as large as it fits.
    void fit_page();
    const canvas_overlay& overlay() const { return overlay_; }
    // A picture of the canvas as it is now (tests, the benchmark).
    QImage grab_image();
    // Opens the in-place editor of the selected object's dispatcher name.
    void edit_name_in_place();
    QLineEdit* name_editor() const { return name_edit_; }

signals:
    // The document changed (a step was pushed) or only the selection did.
    void document_changed();
    void selection_changed();
    void scale_changed(double scale);
    // A message for the status line.
    void status(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class gesture { none, moving, band, resizing, figure, panning };
    void run(const std::function<void()>& operation);
    void finish_wire(point at);
    void cancel();
    std::optional<QRectF> resize_handle() const;

    editor_session& session_;
    editor_tool tool_ = editor_tool::select;
    canvas_view view_;
    canvas_overlay overlay_;
    paint_context context_;
    drag_preview drag_;
    gesture gesture_ = gesture::none;
    point press_at_;
    QPointF press_pixel_;
    double dx_ = 0, dy_ = 0;
    std::vector<point> figure_points_;
    wire_end wire_from_;
    QLineEdit* name_edit_ = nullptr;
};

} // namespace nxkit
