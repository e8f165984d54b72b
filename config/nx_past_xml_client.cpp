#include "config/nx_past_xml_client.h"

#include "config/ref_types.h"
#include "config/t_ref.h"

#include <algorithm>

namespace nxkit {

nx_past_xml_client::nx_past_xml_client(t_ref& target) : target_(target) {}

void nx_past_xml_client::on_start(const nx_xml_element& element) {
    if (element.name != "ref")
        return;
    if (depth_ > 0) {
        ++depth_;
        return;
    }
    int type = element.attr_int("tp");
    types_.insert(type);
    // A folder's contents land under the target as they are, so they count as top level.
    if (type != tp_group)
        ++depth_;
}

void nx_past_xml_client::on_end(const nx_xml_element& element) {
    if (element.name == "ref" && depth_ > 0)
        --depth_;
}

bool nx_past_xml_client::acceptable() {
    if (types_.empty())
        return false;
    std::vector<int> accepted = target_.child_types();
    for (int type : types_) {
        if (std::find(accepted.begin(), accepted.end(), type) == accepted.end())
            return false;
        if (!target_.can_add_child(type))
            return false;
    }
    return true;
}

} // namespace nxkit
