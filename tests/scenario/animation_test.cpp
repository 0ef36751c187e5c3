// Recorded animations: what a viewer reads back from the GIF file.
#include "animation.h"
#include "host.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

using host::render::Image;

struct ReadBack {
    int width = 0, height = 0;
    std::vector<int> delays; // hundredths of a second, per picture
    bool loops = false;
};

ReadBack readGif(const std::string &path)
{
    int error = 0;
    GifFileType *gif = DGifOpenFileName(path.c_str(), &error);
    EXPECT_NE(gif, nullptr) << GifErrorString(error);
    ReadBack back;
    if (!gif)
        return back;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK);
    back.width = gif->SWidth;
    back.height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        GraphicsControlBlock control;
        DGifSavedExtensionToGCB(gif, i, &control);
        back.delays.push_back(control.DelayTime);
        const SavedImage &image = gif->SavedImages[i];
        for (int e = 0; e < image.ExtensionBlockCount; ++e)
            if (image.ExtensionBlocks[e].Function == APPLICATION_EXT_FUNC_CODE)
                back.loops = true;
    }
    DGifCloseFile(gif, &error);
    return back;
}

Image plain(uint32_t colour)
{
    return Image(8, 6, colour);
}

class Animation : public ::testing::Test {
protected:
    std::string path = (std::filesystem::temp_directory_path() / "gaugehost-animation-test.gif").string();
    void TearDown() override { std::filesystem::remove(path); }
};

// Repeated pictures lengthen the one before; display times keep the host's
// pace over the whole animation however the hundredths round.
TEST_F(Animation, RepeatsMergeAndTimesFollowTheFrameRate)
{
    host::GifAnimation animation(path, 18.0);
    const uint32_t colours[] = {0xff102030, 0xff102030, 0xff102030, 0xffa0b0c0, 0xff405060, 0xff405060};
    for (uint32_t colour : colours)
        animation.add(plain(colour));
    EXPECT_EQ(animation.frames(), 6u);
    animation.finish();

    const ReadBack back = readGif(path);
    EXPECT_EQ(back.width, 8);
    EXPECT_EQ(back.height, 6);
    // 3, 1 and 2 frames at 18 a second end at 16.7, 22.2 and 33.3
    // hundredths; rounded on those running totals (17, 22, 33) the pictures
    // stay 17, 5 and 11 hundredths, 6 / 18 s in all.
    EXPECT_EQ(back.delays, (std::vector<int>{17, 5, 11}));
    EXPECT_TRUE(back.loops);
}

TEST_F(Animation, RefusesPicturesOfAnotherSizeAndRemovesAnUnfinishedFile)
{
    {
        host::GifAnimation animation(path, 18.0);
        animation.add(plain(0xff000000));
        EXPECT_THROW(animation.add(Image(9, 6, 0xff000000)), host::HostError);
        EXPECT_TRUE(std::filesystem::exists(path));
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    host::GifAnimation empty(path, 18.0);
    EXPECT_THROW(empty.finish(), host::HostError);
    EXPECT_THROW(host::GifAnimation(path, 18.0).add(Image()), host::HostError);
}

TEST(AnimationFile, AnUnwritableFolderIsAnError)
{
    host::GifAnimation animation("/nonexistent-folder/animation.gif", 18.0);
    EXPECT_THROW(animation.add(plain(0xffffffff)), host::HostError);
}

} // namespace
