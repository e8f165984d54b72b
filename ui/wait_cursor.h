#pragma once

#include <QApplication>
#include <QCursor>

namespace nxkit {

// The wait cursor for as long as it lives (adding, repeating, pasting, filling a tree). Boxes
// and menus of the prompt seam show the normal cursor while they are open.
class wait_cursor {
public:
    wait_cursor() {
        if (QApplication::instance() != nullptr) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            active_ = true;
        }
    }
    ~wait_cursor() {
        if (active_)
            QApplication::restoreOverrideCursor();
    }
    wait_cursor(const wait_cursor&) = delete;
    wait_cursor& operator=(const wait_cursor&) = delete;

private:
    bool active_ = false;
};

// The normal cursor over a modal prompt opened while a wait cursor is up.
class prompt_cursor {
public:
    prompt_cursor() {
        if (QApplication::overrideCursor() != nullptr &&
            QApplication::overrideCursor()->shape() != Qt::ArrowCursor) {
            QApplication::setOverrideCursor(Qt::ArrowCursor);
            active_ = true;
        }
    }
    ~prompt_cursor() {
        if (active_)
            QApplication::restoreOverrideCursor();
    }
    prompt_cursor(const prompt_cursor&) = delete;
    prompt_cursor& operator=(const prompt_cursor&) = delete;

private:
    bool active_ = false;
};

} // namespace nxkit
