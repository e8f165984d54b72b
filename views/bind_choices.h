#pragma once

#include "schemes/element_types.h"

#include <set>
#include <string>
#include <vector>

namespace nxkit {

class t_element;
class t_ref;

// The first element at or below `target` in key order; null when there is none.
t_element* first_element_at(t_ref& target);

// The template as the bind uses it: one without "#" gets it in front.
std::string marked_template(const std::string& name_template);

// The templates used during this run of the program, in name order.
std::set<std::string>& template_history();

// What the bind dialog shows and edits: the element type record of the sample element (the
// first one of the target), whose current property and values the new rules take, and the
// name template. The record is shared by every element of its type, so a choice stays in force
// for the rest of the run.
class bind_choices {
public:
    // Takes the sample element and loads the last choices from the settings; false when the
    // target holds no element or the sample has no type record (nothing to choose from).
    bool begin(t_ref& target);

    const element_type& record() const { return *record_; }
    // The type's property names in name order.
    std::vector<std::string> property_names() const;
    // The values known for the current property, in name order.
    std::vector<std::string> values() const;
    const std::string& name_template() const { return template_; }
    std::vector<std::string> templates() const;

    // The operator picked another property: its stored on and off values become current.
    void select_property(const std::string& property);
    // A button was pressed: the texts shown become the current choices.
    void take(const std::string& property, const std::string& on_value,
              const std::string& off_value, const std::string& name_template);
    // Marks the template, remembers everything in the settings and returns the template the
    // bind uses.
    std::string finish();

private:
    element_type_ptr record_;
    std::string template_;
};

} // namespace nxkit
