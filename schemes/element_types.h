#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace nxkit {

// Orders UTF-8 names by the bytes of their Windows-1251 text, as the type file lists them.
struct cp1251_less {
    bool operator()(const std::string& a, const std::string& b) const;
};

// The values known for one property of an element type, and which of them mean on and off.
struct property_entry {
    std::set<std::string, cp1251_less> values;
    std::string on_value;
    std::string off_value;
};

// What the scheme knows about one element type: its tree images, the properties its drawn
// object has and the property and values that new rules of this type take.
struct element_type {
    std::string name;
    int image_on = 1435;
    int image_off = 1436;
    std::map<std::string, property_entry, cp1251_less> properties;
    std::string current_property;
    std::string current_on;
    std::string current_off;
};

using element_type_ptr = std::shared_ptr<element_type>;

// Makes `property` the record's current property (adding it when missing) and takes its
// stored on and off values as the current ones.
property_entry& select_property(element_type& record, const std::string& property);
// Adds `value` to the property's values and makes it the property's and the record's current
// on value (is_on) or off value.
void add_value(element_type& record, property_entry& entry, const std::string& value, bool is_on);
// Registers the current property and values again, so that ones typed in by hand become known.
void reapply_current(element_type& record);

// The element type table: the names in elements.ini plus the built-in types. Records are
// shared with the elements that use them, so a reload never leaves an element with a dangling
// type.
class element_type_table {
public:
    // Builds the table from `file` (empty: elements.ini in the station folder), then rewrites
    // the file with every name. A failed write is logged; the table stays in use.
    void load(const std::string& file = {});
    // Null for a name the table does not know.
    element_type_ptr type_record(const std::string& name) const;
    // Finds or creates a record with the default images and the property "дисп_имя".
    element_type_ptr add_type(const std::string& name);
    // The names in table order.
    std::vector<std::string> names() const;

    static std::string default_file();
    // The property every type has first.
    static const char* dispatcher_name_property() { return "дисп_имя"; }

private:
    std::map<std::string, element_type_ptr, cp1251_less> types_;
};

} // namespace nxkit
