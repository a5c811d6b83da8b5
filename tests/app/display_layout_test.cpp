// The layout arithmetic of the display, without a window.
#include <gtest/gtest.h>

#include <vector>

#include "app/display_layout.h"
#include "app/tick.h"

TEST(DisplayLayout, FitGivesTiesToTheHeight) {
    // 640 x 480 in 640 x 483: both whole percentages are 100, so the height
    // limits and two columns are cut off at each side.
    DrawRect r = FitDrawRect(SIZE{640, 480}, SIZE{640, 483}, false, 0);
    EXPECT_EQ(r.width, 644);
    EXPECT_EQ(r.height, 483);
    EXPECT_EQ(r.x, -2);
    EXPECT_EQ(r.y, 0);
}

TEST(DisplayLayout, FitLimitedByTheWidthIsCentredVertically) {
    DrawRect r = FitDrawRect(SIZE{640, 480}, SIZE{636, 480}, false, 0);
    EXPECT_EQ(r.width, 636);
    EXPECT_EQ(r.height, 477);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 1);
}

// The numbers are worked by hand: sin(4.0) x 400 = -302.7, cut to -302;
// x = (400 + 302) >> 1 = 351; sin(0.5) x 300 = 143.8.
TEST(DisplayLayout, SpinWidthsCentresAndBands) {
    DrawRect r = FitDrawRect(SIZE{400, 300}, SIZE{400, 300}, true, 40);
    EXPECT_EQ(r.width, -302);  // mirrored for half a turn
    EXPECT_EQ(r.x, 351);       // a negative width puts x right of centre
    SideBands bands = SpinSideBands(r);
    EXPECT_EQ(bands.left, 49);
    EXPECT_EQ(bands.right, 351);
    DrawRect still = TrueSizeSpinRect(SIZE{300, 200}, SIZE{500, 400}, 7, 0);
    EXPECT_EQ(still.width, 300);
    EXPECT_EQ(still.y, 100);
    EXPECT_EQ(TrueSizeSpinRect(SIZE{300, 200}, SIZE{500, 400}, 5, 10).width, 143);
}

TEST(DisplayLayout, TrueSizeCentresOnlyWhatIsSmaller) {
    POINT small = TrueSizeOrigin(SIZE{300, 200}, SIZE{500, 400});
    EXPECT_EQ(small.x, 100);
    EXPECT_EQ(small.y, 100);
    POINT wide = TrueSizeOrigin(SIZE{1000, 300}, SIZE{500, 400});
    EXPECT_EQ(wide.x, 0);
    EXPECT_EQ(wide.y, 50);
}

TEST(DisplayLayout, ScrollStaysInsideThePicture) {
    EXPECT_EQ(ClampScroll(0, -10, 1000, 500), 0);
    EXPECT_EQ(ClampScroll(450, 100, 1000, 500), 500);
    EXPECT_EQ(ClampScroll(100, 50, 1000, 500), 150);
}

TEST(Bounce, TurnsAtEachEdgeAsTheTicksFindIt) {
    // A picture 100 pixels wider than the client, default step +5, view at 0.
    int step = 5;
    int scroll = 0;
    std::vector<int> positions;
    for (int tick = 0; tick < 25; ++tick) {
        const int dx = BounceStep(step, true, scroll, 600, 500);
        scroll = ClampScroll(scroll, dx, 600, 500);
        positions.push_back(scroll);
    }
    // First tick: the step turns to -5 and the view cannot move.
    EXPECT_EQ(positions[0], 0);
    // Second tick: it turns back to +5.
    EXPECT_EQ(positions[1], 5);
    EXPECT_EQ(positions[20], 100);
    // At 100 the step turns and the view comes back.
    EXPECT_EQ(positions[21], 95);
    // A direction without overflow keeps its step.
    int still = 5;
    EXPECT_EQ(BounceStep(still, false, 0, 300, 500), 5);
    EXPECT_EQ(still, 5);
}
