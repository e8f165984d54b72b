#pragma once

#include "config/t_ref.h"

#include <map>
#include <memory>
#include <string>

namespace nxkit {

class nx_xml_writer;
class t_element;

// Property name -> value text, written into the drawn object of an element.
using property_map = std::map<std::string, std::string>;
// Style name -> on, the abnormal-state marks of an element.
using style_map = std::map<std::string, bool>;

// Base of the rules under a scheme element. A rule computes its state from signals, registers
// the expressions it reads and writes property values of its element. Interlock rules (a
// blocking rule under an element) derive from it elsewhere; they are folded in like any other.
class t_el : public t_ref {
public:
    ~t_el() override;
    void init() override;

    // Computes state and qualities (control, defined, manual, unacknowledged, invalid bits).
    virtual void evaluate() {}
    // Registers the rule's expressions with the store's watches under the owner's key.
    virtual void link() {}
    // Writes the rule's property values (and, for interlock rules, styles).
    virtual void apply(property_map& properties, style_map& styles) {
        (void)properties;
        (void)styles;
    }

    // The owning element, null until init found it.
    t_element* owner() const { return owner_; }

protected:
    t_el(t_ref_buff& store, int type);
    // Registers an expression under the owner's key; nothing for an empty one.
    void watch(const std::string& expression);
    // Brings the rule and its element's type record together: an empty property takes the
    // type's current property and values (on and off may be null: not used); otherwise the
    // property and the rule's non-empty values become the type's current ones. Nothing for a
    // read-only rule or an element without type.
    void reconcile_with_type(std::string& property, std::string* on_value, std::string* off_value);
    // The parameter editor of a property (the type's property names) or of a value of
    // `property` (its known values); free text when the element has no type.
    int property_editor(choice_list& choices) const;
    int value_editor(const std::string& property, choice_list& choices) const;
    // Writes a condition or expression as a child element, nothing when empty.
    static void write_text_element(nx_xml_writer& writer, const char* name,
                                   const std::string& text);

private:
    t_element* owner_ = nullptr;
};

} // namespace nxkit
