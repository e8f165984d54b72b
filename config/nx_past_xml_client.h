#pragma once

#include "base/nx_xml_client.h"

#include <set>

namespace nxkit {

class t_ref;

// Decides whether clipboard text may be pasted under a component: collects the type codes of
// the top-level components (the contents of a top-level folder count as top level too).
class nx_past_xml_client : public nx_xml_client {
public:
    explicit nx_past_xml_client(t_ref& target);

    void on_start(const nx_xml_element& element) override;
    void on_end(const nx_xml_element& element) override;

    // True when there is something to paste and the target accepts every type found.
    bool acceptable();

    const std::set<int>& types() const { return types_; }

private:
    t_ref& target_;
    int depth_ = 0;
    std::set<int> types_;
};

} // namespace nxkit
