#include "ui/image_list.h"

#include "ui/icon_set.h"

namespace nxkit {

image_list::image_list(icon_set& icons, int size, std::vector<int> numbers,
                       std::vector<int> overlays)
    : icons_(icons), size_(size), numbers_(std::move(numbers)), overlays_(std::move(overlays)) {
    for (int i = 0; i < count(); ++i)
        index_.emplace(numbers_[i], i);
}

int image_list::index_of(int number) const {
    auto it = index_.find(number);
    return it == index_.end() ? -1 : it->second;
}

int image_list::number_at(int index) const {
    return index >= 0 && index < count() ? numbers_[index] : 0;
}

int image_list::overlay_number(int overlay) const {
    return overlay >= 1 && overlay <= static_cast<int>(overlays_.size()) ? overlays_[overlay - 1]
                                                                         : 0;
}

QPixmap image_list::pixmap(int index, int overlay, QIcon::Mode mode) const {
    int number = number_at(index);
    if (number == 0)
        return {};
    return icons_.overlaid(number, overlay_number(overlay), size_, mode);
}

QPixmap image_list::pixmap_of(int number, int overlay, QIcon::Mode mode) const {
    return pixmap(index_of(number), overlay, mode);
}

} // namespace nxkit
