#pragma once

#include "base/nx_xml_client.h"
#include "config/ref_flags.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

class t_ref_buff;
class nx_xml_writer;

// One entry of a parameter's choice list: a text and its item value. Leading blanks count.
struct choice {
    std::string text;
    int value = 0;
};
using choice_list = std::vector<choice>;

// Editor kinds a parameter row can have.
enum parameter_kind : int {
    editor_read_only = 0,
    editor_free_text = 1,
    editor_choice_only = 2,
    editor_choice_or_text = 3,
    editor_button = 4,
};

// A configuration component. It lives in the store that created it and refers to other
// components only by key.
class t_ref : public nx_xml_client {
public:
    t_ref(t_ref_buff& store, int type);
    t_ref(const t_ref&) = delete;
    t_ref& operator=(const t_ref&) = delete;

    // The virtual operations, in their fixed order (the first three are the XML client's).
    void on_start(const nx_xml_element& element) override;
    void on_text(const nx_xml_element& element) override;
    void on_end(const nx_xml_element& element) override;
    ~t_ref() override;
    virtual bool set_parameter(int index, const std::string& text);
    virtual bool get_parameter(int index, std::string& value, std::string& name);
    virtual void preview_parameter(int index, const std::string& text);
    virtual int parameter_editor(int index, choice_list& choices);
    virtual bool on_parameter_enter(int index);
    virtual void set_key(const std::string& key);
    virtual std::vector<int> child_types();
    virtual bool can_add_child(int type);
    virtual std::string display_name();
    virtual void tree_images(int& icon, int& overlay, int& state);
    virtual void init();
    virtual void write(nx_xml_writer& writer);
    virtual std::string log_file();
    virtual int command(bool query, int index, std::string& arg);
    virtual std::string export_name();

    int type() const { return type_; }
    const std::string& key() const { return key_; }
    const std::string& title() const { return title_; }
    void set_title(const std::string& title) { title_ = title; }
    int number() const { return number_; }
    std::uint32_t flags() const { return flags_; }
    bool has_flag(std::uint32_t mask) const { return (flags_ & mask) != 0; }
    void set_flag(bool on, std::uint32_t mask) { flags_ = on ? (flags_ | mask) : (flags_ & ~mask); }

    // The component's place in key order as of the store's last rebuild of its tables.
    std::uint32_t order() const { return order_; }
    void set_order(std::uint32_t order) { order_ = order; }

    t_ref_buff& store() const { return *store_; }
    // The parent component, null for a root or when the parent is missing.
    t_ref* parent() const;
    // Display names from the root down to this component, joined with " / ".
    std::string full_path_text();
    // This component or an ancestor has the bit.
    bool has_flag_in_chain(std::uint32_t mask) const;
    // This component when it has the re-initialisation bit, else the nearest ancestor with it.
    t_ref* init_root();
    // The text thrown as nx_exception_ref_init when a unique value of parameter `index` is
    // already used by `other`.
    std::string duplicate_message(int index, t_ref& other);

private:
    t_ref_buff* store_;
    int type_;
    std::uint32_t order_ = 0;
    std::string key_;
    std::string title_;
    int number_ = 0;
    std::uint32_t flags_ = 0;
};

// Base of the three roots (equipment, structure, schemes).
// A root is never deleted in the editor: the whole tree and its running devices hang on it.
class t_ref_root : public t_ref {
public:
    t_ref_root(t_ref_buff& store, int type);
};

// An element of `refs.ini` whose class this program does not know (a newer format, a hand
// edit). It is kept exactly as read, with everything nested in it, and written back as it
// was: a station is never cut down by a program that cannot read all of it. It takes no part
// in operation and cannot be changed in the editor.
class t_ref_unknown : public t_ref {
public:
    t_ref_unknown(t_ref_buff& store, int type);

    // The element's text as it stood in the file, start tag to end tag (UTF-8).
    const std::string& source() const { return source_; }
    void set_source(std::string text) { source_ = std::move(text); }

private:
    std::string source_;
};

// A folder: only a title; accepts what its parent accepts and shows its parent's log.
class t_group : public t_ref {
public:
    explicit t_group(t_ref_buff& store);
    std::vector<int> child_types() override;
    std::string log_file() override;
    void tree_images(int& icon, int& overlay, int& state) override;
};

} // namespace nxkit
