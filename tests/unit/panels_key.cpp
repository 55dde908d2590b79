// The key panel's layout and labels: slots across the panel, where a key's labels and bar end, the
// tick heights and texts, and the slot bookkeeping (no lists exist before the first draw, so none of
// this needs a display).
#include <gtest/gtest.h>

#include "DataVariable.h"
#include "MapKey.h"

namespace {

TEST(MapKeyLabels, AutomaticPrecisionFollowsTheValue) {
    const struct {
        float v;
        const char* text;
    } cases[] = {{1013, "1013"}, {10, "10"},     {9.99f, "9.99"}, {2.5f, "2.5"},  {0.5f, "0.5"},
                 {0, "0"},       {0.00001f, "0"}, {-2.5f, "-2.5"}, {-15, "-15"}, {0.075f, "0.075"}};
    for (const auto& c : cases) EXPECT_EQ(MapKey::tickLabel(c.v, -1), c.text) << c.v;
    EXPECT_EQ(MapKey::tickLabel(1013, 1), "1013.0") << "a given precision fixes the decimals";
}

TEST(MapKeyLayout, OneKeySpansThePanelTwoSplitAtTheMiddle) {
    DataVariable a(UNIT_KELVIN, "A", 0), b(UNIT_PASCAL, "B", 1);
    MapKey key(2);
    key.addKey(&a, KeyColormap);
    EXPECT_FLOAT_EQ(key.slotX(0), -0.95f);
    EXPECT_FLOAT_EQ(key.slotX(0) + key.slotWidth(), 0.95f);

    key.addKey(&b, KeyTextons);
    EXPECT_FLOAT_EQ(key.slotX(0), -0.95f);
    EXPECT_NEAR(key.slotX(1), 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(key.slotX(1) + key.slotWidth(), 0.95f);

    key.setLastKey(0);
    EXPECT_EQ(key.getLastKey(), 0);
    EXPECT_FLOAT_EQ(key.slotX(0) + key.slotWidth(), 0.95f);
    EXPECT_EQ(key.keyVariable(1), &b) << "hiding a key keeps its variable";
}

TEST(MapKeyLayout, LabelsStartThirtyPixelsInFromTheKeysRightEnd) {
    MapKey key(2);
    key.setGeometry(1684, 103, 145, 468);
    key.setLastKey(1);
    const KeyLayout l = key.layout(key.slotX(0), key.slotWidth(), 11, 11);
    EXPECT_NEAR(l.labelX, -0.414f, 1e-3);
    EXPECT_NEAR(l.barRight, -0.464f, 1e-3);
    // An 11-pixel pattern repeats 36 times up a 1.7 x 468 / 2 = 398-pixel bar.
    EXPECT_NEAR(l.tRep, 36.16f, 0.01f);
}

TEST(MapKeySlots, ReplacingAVariableKeepsTheSelectorAndBadSlotsAreIgnored) {
    DataVariable a(UNIT_KELVIN, "A", 0), b(UNIT_PASCAL, "B", 1), c(UNIT_PERCENT, "C", 3);
    MapKey key(2);
    EXPECT_EQ(key.getLastKey(), -1);
    key.addKey(&a, KeyColormap);
    key.addKey(&b, KeyTextons);
    key.addKey(&c, KeyColormap);  // no third slot
    EXPECT_EQ(key.getLastKey(), 1);
    EXPECT_EQ(key.keyVariable(1), &b);

    key.setKey(&c, 1);
    EXPECT_EQ(key.keyVariable(1), &c);
    EXPECT_EQ(key.keyKind(1), KeyTextons);
    key.setKey(&a, 2);
    key.setKey(&a, -1);
    EXPECT_EQ(key.keyVariable(0), &a);
    EXPECT_EQ(key.keyVariable(1), &c);

    key.setLastKey(5);
    EXPECT_EQ(key.getLastKey(), 1) << "no more keys shown than there are slots";
    key.setLastKey(-3);
    EXPECT_EQ(key.getLastKey(), -1);
    EXPECT_EQ(key.getListBase(), 0u) << "lists are made by the first draw";
}

}  // namespace
