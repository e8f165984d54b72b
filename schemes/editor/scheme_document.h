#pragma once

// The scheme editor's document: one .sde file being edited, every change an operation on the
// undo stack. Items of a page are addressed by their place in the page's drawing order.

#include "schemes/editor/connectivity.h"

#include <string>
#include <vector>

namespace nxkit {

// What copy takes and paste puts back: the items in drawing order, counters as copied.
struct scheme_clipboard {
    sde_page items;
};

enum class align_edge { left, right, top, bottom, centre_x, centre_y };
enum class axis { horizontal, vertical };

// Puts a copy of `from`'s item at the end of `to`'s drawing order.
void append_item(sde_page& to, const sde_page& from, const sde_item& item);

class scheme_document {
public:
    scheme_document() = default;
    explicit scheme_document(sde_scheme scheme);

    // Reads a file; a broken file raises nx_exception as read_sde does.
    static scheme_document open(const std::string& path);

    enum class save_result { saved, changed_on_disk, failed };
    // Writes the file atomically, the old one kept as "<file>.<n>.bak" (n the next free
    // number). A file changed on disk since it was opened or last saved is left alone
    // (changed_on_disk) unless `overwrite`. `message` says what failed.
    save_result save(const std::string& path, std::string& message, bool overwrite = false);

    const sde_scheme& scheme() const { return scheme_; }
    std::string text() const { return write_sde(scheme_); }
    int next_counter() const;

    // Pages, by index in the file.
    int add_page(const std::string& title, double width = 297, double height = 210);
    void delete_page(std::size_t page);
    void rename_page(std::size_t page, const std::string& title);
    void resize_page(std::size_t page, double width, double height);
    void move_page(std::size_t from, std::size_t to);

    // Items. An object with counter 0 gets the next free one; the counter is returned.
    int add_object(std::size_t page, sde_object object);
    void add_shape(std::size_t page, sde_shape shape);
    // A wire between two ends through the given bend points; attached ends take their
    // terminal's or node's place.
    void add_wire(std::size_t page, const wire_end& from, const wire_end& to,
                  const std::vector<point>& bends = {});
    // Splits the wire at `item` at `at` into two joined by a new junction node; its id.
    int split_wire(std::size_t page, std::size_t item, point at);
    // Attaches one end (0 from, 1 to) of the wire at `item`.
    void attach(std::size_t page, std::size_t item, int end, const wire_end& to);
    void set_property(std::size_t page, int counter, const std::string& name,
                      const std::string& value);
    // The object's element type ("имя_типа"); its wires keep their terminals by name.
    void set_type(std::size_t page, int counter, const std::string& type_name);
    // Replaces a piece of static graphics (its style, points or text) as a whole.
    void set_shape(std::size_t page, std::size_t item, sde_shape shape);
    // An attribute of the object or shape at `item` that the drawing itself does not use
    // ("kv", the voltage class of a busbar or wire); an empty value removes it.
    void set_attribute(std::size_t page, std::size_t item, const std::string& name,
                       const std::string& value);
    // The page's colour of a voltage class; an empty colour gives the usual one back.
    void set_voltage_colour(std::size_t page, double kv, const std::string& colour);

    // Deleting an object leaves the wires at its terminals with free ends where they were.
    void delete_items(std::size_t page, std::vector<std::size_t> items);
    void move_items(std::size_t page, const std::vector<std::size_t>& items, double dx, double dy);
    void resize_item(std::size_t page, std::size_t item, double w, double h);
    // By 90° clockwise / mirrored left to right about the centre of the selection's box.
    void rotate_items(std::size_t page, const std::vector<std::size_t>& items);
    void mirror_items(std::size_t page, const std::vector<std::size_t>& items);
    scheme_clipboard copy(std::size_t page, const std::vector<std::size_t>& items) const;
    // Pasted objects get new counters, wires among them stay attached to them, and wires to
    // objects left behind get free ends. The places of the pasted items are returned.
    std::vector<std::size_t> paste(std::size_t page, const scheme_clipboard& clip, double dx,
                                   double dy);
    std::vector<std::size_t> duplicate(std::size_t page, const std::vector<std::size_t>& items,
                                       double dx, double dy);
    void bring_to_front(std::size_t page, const std::vector<std::size_t>& items);
    void send_to_back(std::size_t page, const std::vector<std::size_t>& items);
    void align(std::size_t page, const std::vector<std::size_t>& items, align_edge edge);
    // Spaces the items' centres evenly between the outermost ones.
    void distribute(std::size_t page, const std::vector<std::size_t>& items, axis along);

    bool can_undo() const { return done_ > 0; }
    bool can_redo() const { return done_ < history_.size(); }
    void undo();
    void redo();
    // Makes the last two steps one (a wire drawn onto another wire splits it first), so that
    // one undo takes back what the operator did in one go. Both must be on the same page.
    void join_last_steps();
    // True when the document differs from the file it was opened from or last saved to.
    bool modified() const { return done_ != saved_at_; }

private:
    struct step {
        // The page (or all pages when `whole`) as it is not now: before when done, after
        // when undone. Undo and redo swap it in, so they cost no copy.
        bool whole = false;
        std::size_t page = 0;
        sde_page stored;
        std::vector<sde_page> stored_pages;
    };
    sde_page& begin_page(std::size_t page);
    std::vector<sde_page>& begin_whole();
    void swap_step(step& s);
    void push(step s);

    sde_scheme scheme_;
    std::vector<step> history_;
    std::size_t done_ = 0;
    std::size_t saved_at_ = 0;
    std::string disk_text_; // the file's bytes when opened or last saved
};

} // namespace nxkit
