#pragma once

#include "config/t_ref.h"

namespace nxkit {

// The elements of one type on one page; the description names the type.
class t_mod_group : public t_ref {
public:
    explicit t_mod_group(t_ref_buff& store);

    int parameter_editor(int index, choice_list& choices) override;
    void tree_images(int& icon, int& overlay, int& state) override;
    int command(bool query, int index, std::string& arg) override;

    // Set by the scheme host: the off image of the first element's type.
    int image() const { return image_; }
    void set_image(int image) { image_ = image; }

private:
    int image_ = 1438;
};

} // namespace nxkit
