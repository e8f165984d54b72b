#include "tests/scheme_control/qt_environment.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace ilktest {

bool near(QColor a, QColor e, int tolerance) {
    return std::abs(a.red() - e.red()) <= tolerance &&
           std::abs(a.green() - e.green()) <= tolerance &&
           std::abs(a.blue() - e.blue()) <= tolerance;
}

std::string describe(QColor c) {
    return "rgb(" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
           std::to_string(c.blue()) + ")";
}

namespace {

// The widgets of this suite need one application object, made before the first test.
class qt_environment : public testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new qt_environment);

} // namespace

} // namespace ilktest
