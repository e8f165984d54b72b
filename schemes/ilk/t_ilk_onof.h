#pragma once

#include "schemes/t_el.h"
#include "schemes/t_rtid.h"

#include <string>

namespace nxkit {

class t_element;
class t_ilk;
class t_ilk_and;
class t_schema_modus50;

// The line that names a blocking apparatus and the state in which it permits, as the element
// menu shows it: "включен  - QS1" / "отключен - QS1" (both states take the same width).
std::string blocker_line(bool permits_when_on, const std::string& name);

// A blocking element: an apparatus on the same scheme whose state, as one permission of the
// interlock table reads it, takes part in the interlock above. Made by the projection, never
// saved. Locked while no element of its scheme has its counter.
class t_ilk_onof : public t_rtid_sel {
public:
    explicit t_ilk_onof(t_ref_buff& store);
    ~t_ilk_onof() override;

    void on_start(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    // Whether its permission holds now, from sound signals only. A locked one (its apparatus
    // is not on the scheme) blocks.
    bool permits();
    // The same, writing "я09_ILK_TS_YES"/"я09_ILK_TS_NO" into `styles`; a locked one writes
    // nothing, as its counter is not on the scheme.
    bool check(style_map& styles);
    // The permission it shows, null when that is gone.
    t_ilk_and* permission() const;
    // The line the scheme view shows for it: state and apparatus name.
    std::string explanation();

    // The state of the blocking apparatus in which the permission is given.
    bool blocks_when_on() const { return blocks_when_on_; }
    void set_blocks_when_on(bool on) { blocks_when_on_ = on; }
    // Key of the permission (t_ilk_and) whose state it shows.
    const std::string& permission_id() const { return permission_id_; }
    void set_permission_id(const std::string& key) { permission_id_ = key; }
    bool refers_to_own_element() const { return refers_to_own_element_; }
    int image() const { return image_; }
    void set_image(int image) { image_ = image; }

    // The interlock above and the element that owns it (null when the tree is not so).
    t_ilk* interlock() const;
    t_element* owning_element() const;
    // The scheme above, found again on every call.
    t_schema_modus50* scheme() const;
    // The blocking apparatus's element on the scheme, null when there is none.
    t_element* blocking_element() const;

private:
    // The text of both names while no element has the counter.
    std::string missing_text() const;

    bool blocks_when_on_ = false;
    bool refers_to_own_element_ = false;
    int image_ = 1438;
    std::string permission_id_;
};

} // namespace nxkit
