// A plug-in that crashes, hangs or hands back a damaged picture while the
// viewer shows a file: the window stays, the album with its unsaved changes
// stays as it was, and the next file opens through the same plug-in.
#include <gtest/gtest.h>

#include "album/zub_album.h"
#include "app/viewer_state.h"
#include "image/plugin_host.h"
#include "tests/app/viewer_fixture.h"
#include "tests/plugins/plugin_fixtures.h"

namespace {

void IgnoreNotice(const char*) {}

TEST_F(ViewerWindowTest, AFailingPluginLeavesTheWindowAndTheUnsavedAlbumAsTheyWere) {
    ViewerState& v = Viewer();
    for (const char* name : {"a.bmp", "b.bmp"}) {
        WriteBmp(dir_.File(name), 8, 8);
        v.Album->AddPage(dir_.File(name).c_str());
    }
    v.AlbumUnsaved = 1;
    SetPluginHangTimeout(700);
    SetPluginNoticeProc(IgnoreNotice);
    int serial = 0;
    for (const char* behaviour : {"crash", "heap", "hang", "short"}) {
        SCOPED_TRACE(behaviour);
        ASSERT_EQ(LoadPlugins(TestPluginFolder("unruly").c_str()), 1);
        std::string bad = dir_.File("bad" + std::to_string(serial++) + ".tpc");
        WriteFileBytes(bad, MakeTinyPicture(5, 3, behaviour));
        Show(bad);
        Pump();
        EXPECT_TRUE(IsWindow(window_));
        EXPECT_EQ(v.AlbumUnsaved, 1);
        ASSERT_EQ(v.Album->PageCount(), 2);
        EXPECT_STREQ(v.Album->GetPagePath(1), dir_.File("b.bmp").c_str());

        std::string good = dir_.File("good" + std::to_string(serial++) + ".tpc");
        WriteFileBytes(good, MakeTinyPicture(5, 3));
        Show(good);
        ASSERT_NE(v.ShownBitmap, nullptr);
        EXPECT_EQ(v.PictureSize.cx, 5);
        EXPECT_EQ(v.PictureSize.cy, 3);
    }
    SetPluginHangTimeout(kPluginHangTimeout);
    SetPluginNoticeProc(nullptr);
}

}  // namespace
