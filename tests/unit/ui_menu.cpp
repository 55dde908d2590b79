// Menu rows: hit testing from pixel positions, the radio group of command rows, highlights, fading.
#include <gtest/gtest.h>

#include <vector>

#include "CommandMenu.h"

namespace {

class Menu16 : public ::testing::Test {
protected:
    void SetUp() override {
        menu.setGeometry(20, 100, 180, 385);
        for (int i = 0; i < 16; ++i) menu.addItem("row", static_cast<unsigned char>('a' + i));
        menu.setCommandFunction([this](int key) {
            keys.push_back(key);
            return 1;
        });
    }
    CommandMenu menu{0.4f, 16};
    std::vector<int> keys;
};

TEST_F(Menu16, PressNearTheTopAndBottomEdgesSelectsTheFirstAndLastRows) {
    EXPECT_TRUE(menu.handleMouse(LeftButton, Pressed, 100, 100 + 385 - 10));
    EXPECT_TRUE(menu.handleMouse(RightButton, Pressed, 100, 100 + 10));
    EXPECT_EQ(keys, (std::vector<int>{'a', 'p'}));
}

TEST_F(Menu16, EdgesAreOutsideAndOnlyInsideEventsAreConsumed) {
    EXPECT_FALSE(menu.handleMouse(LeftButton, Pressed, 20, 300));
    EXPECT_FALSE(menu.isHovered());
    EXPECT_FALSE(menu.handleMouse(LeftButton, Pressed, 200, 300));
    EXPECT_FALSE(menu.handleMouse(LeftButton, Pressed, 100, 485));
    EXPECT_FALSE(menu.handleMouse(LeftButton, Pressed, 100, 100));
    EXPECT_TRUE(keys.empty());
    EXPECT_TRUE(menu.handleMouse(LeftButton, Released, 21, 300));
    EXPECT_TRUE(menu.handleMouse(NoButton, Dragged, 199, 101));
    EXPECT_TRUE(menu.isHovered());
    EXPECT_TRUE(keys.empty()) << "only presses run commands";
}

TEST_F(Menu16, OpacityClimbsToFullInTwelveFramesAndFallsBack) {
    menu.handleMouse(NoButton, Dragged, 100, 300);
    for (int i = 0; i < 11; ++i) menu.fade();
    EXPECT_LT(menu.getAlpha(), 1.0f);
    menu.fade();
    EXPECT_EQ(menu.getAlpha(), 1.0f);
    menu.fade();
    EXPECT_EQ(menu.getAlpha(), 1.0f);
    menu.handleMouse(NoButton, Dragged, 5, 5);
    for (int i = 0; i < 11; ++i) menu.fade();
    EXPECT_GT(menu.getAlpha(), 0.4f);
    menu.fade();
    EXPECT_EQ(menu.getAlpha(), 0.4f);
    menu.fade();
    EXPECT_EQ(menu.getAlpha(), 0.4f);
}

TEST(CommandMenuRows, CommandRowsBetweenChoiceRowsFormOneRadioGroup) {
    CommandMenu menu(0.4f, 8);
    menu.setGeometry(0, 0, 100, 60);  // 10 px per row
    menu.addItem("Streaks", 's', "OFF", "ON");
    menu.addItem("Temp. & Pressure", '1', 1);
    menu.addItem("Pressure & Jet Stream", '2');
    menu.addItem("Precip. & Cloud Cover", '3');
    menu.addItem("Numbers", 'n', 1, "OFF", "ON");
    menu.addItem("Lonely", 'l', 1);
    menu.setCommandFunction([](int key) { return key == '2' ? 7 : 1; });
    ASSERT_EQ(menu.getItemCount(), 6);
    EXPECT_EQ(menu.item(1).value, 1);

    EXPECT_TRUE(menu.handleMouse(LeftButton, Pressed, 50, 35));  // row 2
    EXPECT_EQ(menu.item(2).value, 7);
    EXPECT_EQ(menu.item(1).value, 0);
    EXPECT_EQ(menu.item(3).value, 0);
    EXPECT_EQ(menu.item(0).value, 0) << "choice rows are not part of the group";
    EXPECT_EQ(menu.item(4).value, 1);
    EXPECT_EQ(menu.item(5).value, 1) << "a command row beyond a choice row is another group";

    EXPECT_TRUE(menu.handleMouse(LeftButton, Pressed, 50, 55));  // row 0, a choice row
    EXPECT_EQ(menu.item(0).value, 1);
    EXPECT_EQ(menu.item(2).value, 7);
}

TEST(CommandMenuRows, AddItemCountsCaptionsAcrossGapsAndIgnoresAFullMenu) {
    CommandMenu menu(0.4f, 2);
    menu.addItem("Contours", 'c', "Off", nullptr, "Soft", nullptr, "Hard");
    menu.addItem("Keys", 'k', 2, "One", "Two", "Three");
    menu.addItem("Too many", 'x', 1, "A");
    menu.addItem("Too many", 'y');
    ASSERT_EQ(menu.getItemCount(), 2);
    EXPECT_EQ(menu.item(0).choiceCount, 3);
    EXPECT_EQ(menu.item(0).value, 0);
    EXPECT_STREQ(menu.item(0).choices[4], "Hard");
    EXPECT_EQ(menu.item(1).choiceCount, 3);
    EXPECT_EQ(menu.item(1).value, 2);
    EXPECT_EQ(menu.item(1).key, 'k');
    EXPECT_EQ(menu.getFont(), BitmapFont::Helvetica10);
}

TEST(CommandMenuRows, AClickBeforeTheCommandFunctionIsInstalledChangesNothing) {
    CommandMenu menu(0.4f, 2);
    menu.setGeometry(0, 0, 100, 100);
    menu.addItem("A", 'a', 1);
    EXPECT_TRUE(menu.handleMouse(LeftButton, Pressed, 50, 80));
    EXPECT_EQ(menu.item(0).value, 1);
    CommandMenu empty(0.4f, 0);
    empty.setGeometry(0, 0, 100, 100);
    empty.addItem("A", 'a');
    empty.setCommandFunction([](int) { return 1; });
    EXPECT_TRUE(empty.handleMouse(LeftButton, Pressed, 50, 50));
    EXPECT_EQ(empty.getItemCount(), 0);
}

TEST(MenuGeometry, HighlightFollowsTheReturnedChoiceEvenOutsideTheCells) {
    MenuItem row;
    row.choiceCount = 3;
    row.value = 2;
    const int n = 4;
    MenuRect r = menuHighlight(row, 1, n);
    ASSERT_FALSE(r.empty);
    EXPECT_NEAR(r.x0, 2 * 1.9f / 3 - 0.95f, 1e-6);
    EXPECT_NEAR(r.x1, 0.95f, 1e-6);
    // Row 1 of 4 spans 0.47 down to -0.03; the cell sits from bottom + g/2 to the middle + g/2.
    EXPECT_NEAR(r.y0, -0.03f + 0.03f, 1e-6);
    EXPECT_NEAR(r.y1, 0.22f + 0.03f, 1e-6);
    row.value = -1;
    r = menuHighlight(row, 1, n);
    EXPECT_NEAR(r.x1, -0.95f, 1e-6);
    EXPECT_LT(r.x0, -0.95f);

    MenuItem command;
    EXPECT_TRUE(menuHighlight(command, 0, n).empty);
    command.value = 3;
    r = menuHighlight(command, 0, n);
    EXPECT_NEAR(r.x0, -0.95f, 1e-6);
    EXPECT_NEAR(r.y1, 0.97f, 1e-6);
    EXPECT_NEAR(menuSeparatorY(1, n), 0.5f, 1e-6);
}

}  // namespace
