// Where the main window goes: on the screen of its stored position, moved back
// onto the primary screen from a position on no screen, shrunk and moved to lie
// wholly on its screen.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

struct PlaceCase {
    const char* name;
    QRect wanted;
    QList<QRect> screens;
    int primary;
    QRect placed;
};

void PrintTo(const PlaceCase& c, std::ostream* os) {
    *os << c.name;
}

class PlaceWindowTest : public testing::TestWithParam<PlaceCase> {};

TEST_P(PlaceWindowTest, LiesWhollyOnOneScreen) {
    const PlaceCase& c = GetParam();
    const QRect placed = PlaceWindow(c.wanted, c.screens, c.primary);
    EXPECT_EQ(placed, c.placed) << placed.x() << ',' << placed.y() << ' ' << placed.width() << 'x'
                                << placed.height();
}

// A laptop screen with a panel of 30 pixels at its bottom, and a larger screen
// right of it or left of it.
const QRect kLaptop(0, 0, 1280, 770);
const QRect kRightScreen(1280, 0, 1920, 1080);
const QRect kLeftScreen(-1920, 0, 1920, 1080);

INSTANTIATE_TEST_SUITE_P(
    WindowPlacement, PlaceWindowTest,
    testing::Values(
        PlaceCase{"fits where it was", QRect(100, 50, 868, 660), {kLaptop}, 0, QRect(100, 50, 868, 660)},
        PlaceCase{
            "stored on a detached screen", QRect(3000, 200, 868, 660), {kLaptop}, 0, QRect(0, 0, 868, 660)},
        PlaceCase{"off every screen goes to the primary one",
                  QRect(-5000, -5000, 868, 660),
                  {kLaptop, kRightScreen},
                  1,
                  QRect(1280, 0, 868, 660)},
        PlaceCase{"taller than the screen", QRect(0, 0, 868, 1000), {kLaptop}, 0, QRect(0, 0, 868, 770)},
        PlaceCase{"taller and lower", QRect(200, 300, 868, 1000), {kLaptop}, 0, QRect(200, 0, 868, 770)},
        PlaceCase{"over the right and the bottom edge",
                  QRect(1000, 500, 868, 660),
                  {kLaptop},
                  0,
                  QRect(412, 110, 868, 660)},
        PlaceCase{"on the second screen",
                  QRect(2000, 100, 868, 1000),
                  {kLaptop, kRightScreen},
                  0,
                  QRect(2000, 80, 868, 1000)},
        PlaceCase{"on a screen left of the primary one",
                  QRect(-1800, 10, 868, 660),
                  {kLaptop, kLeftScreen},
                  0,
                  QRect(-1800, 10, 868, 660)},
        PlaceCase{"no screen known", QRect(5, 6, 7, 8), {}, 0, QRect(5, 6, 7, 8)}),
    [](const testing::TestParamInfo<PlaceCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

} // namespace
