#pragma once

#include <QIcon>
#include <QPixmap>

#include <map>
#include <vector>

namespace nxkit {

class icon_set;

// A numbered list of pictures of one size, as the trees and lists address them: a picture by
// its index, the index by the icon number, and up to eight overlay marks (1..8) that a view
// names by their position in the list's overlay table.
class image_list {
public:
    image_list(icon_set& icons, int size, std::vector<int> numbers, std::vector<int> overlays = {});

    int size() const { return size_; }
    int count() const { return static_cast<int>(numbers_.size()); }
    // -1 for a number not in the list.
    int index_of(int number) const;
    // 0 for an index outside the list.
    int number_at(int index) const;
    // The icon number of overlay 1..8; 0 when there is none.
    int overlay_number(int overlay) const;

    // A null pixmap for an index outside the list. overlay 0 is none.
    QPixmap pixmap(int index, int overlay = 0, QIcon::Mode mode = QIcon::Normal) const;
    // By icon number, for views that keep numbers rather than indices.
    QPixmap pixmap_of(int number, int overlay = 0, QIcon::Mode mode = QIcon::Normal) const;

private:
    icon_set& icons_;
    int size_;
    std::vector<int> numbers_;
    std::vector<int> overlays_;
    std::map<int, int> index_;
};

} // namespace nxkit
