#pragma once

#include "schemes/t_el.h"

#include <map>
#include <string>
#include <vector>

namespace nxkit {

class t_ilk_onof;

// Style maps of the elements of one scheme, by counter.
using styles_by_counter = std::map<int, style_map>;

namespace style {
inline constexpr const char* ilk_yes = "я12_ILK_YES";
inline constexpr const char* ilk_no = "я12_ILK_NO";
inline constexpr const char* ilk_ts_yes = "я09_ILK_TS_YES";
inline constexpr const char* ilk_ts_no = "я09_ILK_TS_NO";
} // namespace style

// One switching condition of an interlock table as it stands on a scheme: made by the
// projection under the element of the controlled apparatus, never saved. It permits when its
// extra condition (the row's signals and the permissions on apparatus that are not on the
// page) holds, every blocking element under it permits, and every signal behind them is under
// control, defined and valid (manual input counts as valid).
//
// An empty extra condition leaves the decision to the blocking elements alone; without any
// blocking element either, nothing permits (as a table condition without permissions). An
// extra condition that cannot be evaluated never permits.
class t_ilk : public t_el {
public:
    explicit t_ilk(t_ref_buff& store);

    void on_text(const nx_xml_element& element) override;
    bool set_parameter(int index, const std::string& text) override;
    bool get_parameter(int index, std::string& value, std::string& name) override;
    int parameter_editor(int index, choice_list& choices) override;
    std::string display_name() override;
    void tree_images(int& icon, int& overlay, int& state) override;
    void init() override;
    void write(nx_xml_writer& writer) override;

    // Rule hook: computes whether switching is permitted and the quality of every signal that
    // decision rests on, which the element folds in like any other rule's.
    void evaluate() override;
    // The extra condition's signals and the contacts behind the blocking elements bring the
    // owning element back into the update pass.
    void link() override;

    // Writes the styles of the interlock and every blocking element under it into the maps of
    // their counters, computing first unless the element's fold did in this pass. A locked
    // interlock permits and writes nothing.
    bool evaluate(styles_by_counter& styles);

    int element_rtid() const { return element_rtid_; }
    const std::string& extra_condition() const { return extra_condition_; }
    t_ilk_onof* self_blocker() const { return self_blocker_; }
    void set_self_blocker(t_ilk_onof* blocker) { self_blocker_ = blocker; }
    bool permitted() const { return permitted_; }
    // +1 for switching on, -1 for switching off, 0 when the interlock is not about its own
    // apparatus.
    int direction() const;
    // The blocking elements, in key order: each one adds itself in its init and leaves in
    // its destructor.
    const std::vector<t_ilk_onof*>& blockers() const { return blockers_; }
    void add_blocker(t_ilk_onof* blocker);
    void remove_blocker(const t_ilk_onof* blocker);

private:
    void compute();

    int element_rtid_ = 0;
    std::string extra_condition_;
    t_ilk_onof* self_blocker_ = nullptr;
    std::vector<t_ilk_onof*> blockers_;
    bool permitted_ = false;
    bool computed_ = false;
    // What each blocking element said in the last computation, in the order of blockers_.
    std::vector<bool> blocker_results_;
};

} // namespace nxkit
