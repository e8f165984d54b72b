#pragma once

#include "config/interfaces.h"
#include "schemes/element_types.h"
#include "schemes/t_el.h"
#include "schemes/t_rtid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

class t_el;
class t_el_onof;
class t_schema_modus50;

// The tree view expands the element when it is selected.
inline constexpr std::uint32_t element_expand_on_select = 0x200;
// Set by aggregation when the element has rules.
inline constexpr std::uint32_t element_has_rules = 0x800;

// The style names an element writes (they name the styles of the style library too).
namespace style {
inline constexpr const char* not_ref = "я18_not_ref";
inline constexpr const char* not_control = "я06_not_control";
inline constexpr const char* not_norma = "я03_not_norma";
inline constexpr const char* onof = "я16_onof";
inline constexpr const char* not_cvit = "я15_not_cvit";
inline constexpr const char* hand = "я08_hand";
inline constexpr const char* bad_dev = "я16_bad_dev";
} // namespace style

// The ref text of a scheme component in bulk creation: type, counter, dispatcher name.
std::string element_xml(int type, int rtid, const std::string& disp_name);

// A drawn element of a scheme that can show a state. Its rules turn signals into property
// values and style marks.
class t_element : public t_rtid_sel, public i_struct_linker, public i_countdown {
public:
    explicit t_element(t_ref_buff& store);
    ~t_element() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    bool can_add_child(int type) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;
    int command(bool query, int index, std::string& arg) override;

    // i_struct_linker: every unlocked rule registers its expressions.
    void link(t_ref_buff& store) override;
    // i_countdown
    int& countdown_counter() override { return countdown_; }

    // Called by a rule from its init; enforces that a dispatcher command rule stands alone.
    void add_rule(t_el& rule);
    void remove_rule(const t_el& rule);
    const std::vector<t_el*>& rules() const { return rules_; }
    // The rule that shows the apparatus' position. A read-only rule (the projection's label
    // colour) never stands for it: the position must not follow the interlock's state.
    t_el_onof* switching_rule() const;
    void set_switching_rule(t_el_onof* rule) { switching_rule_ = rule; }

    // Evaluates every rule once per update pass and folds their qualities into the flags.
    void aggregate();
    // Aggregates, lets the rules write their property values, then fills the styles.
    void compute(property_map& properties, style_map& styles);

    const std::string& disp_name() const { return disp_name_; }
    void set_disp_name(const std::string& name);
    int x() const { return x_; }
    int y() const { return y_; }
    void set_position(int x, int y) {
        x_ = x;
        y_ = y;
    }
    bool drawn_on() const { return drawn_on_; }
    void set_drawn_on(bool on) { drawn_on_ = on; }
    int countdown() const { return countdown_; }
    std::uint16_t tmoo() const { return tmoo_; }
    void set_tmoo(std::uint16_t seconds) { tmoo_ = seconds; }
    // The element type, set by the scheme host; null for a type the table does not know.
    const element_type_ptr& kind() const { return kind_; }
    void set_kind(element_type_ptr kind) { kind_ = std::move(kind); }

    // The scheme above, found again on every call; null when none.
    t_schema_modus50* scheme() const;

private:
    void count_down();

    std::string disp_name_;
    t_el_onof* switching_rule_ = nullptr;
    std::vector<t_el*> rules_;
    int x_ = 0;
    int y_ = 0;
    bool drawn_on_ = false;
    int countdown_ = 1;
    std::uint16_t tmoo_ = 0;
    element_type_ptr kind_;
    // The counter this element was last registered under in its scheme.
    int registered_rtid_ = 0;
};

} // namespace nxkit
