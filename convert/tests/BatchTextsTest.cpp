#include "BatchOptions.h"
#include "BatchTexts.h"

#include <gtest/gtest.h>

using namespace pravix;

TEST(BatchTextsTest, ButtonPerPhase)
{
    EXPECT_EQ(buttonLook(BatchPhase::Idle).titleKey, "Conversion");
    EXPECT_EQ(buttonLook(BatchPhase::Idle).imageName, "ToBt");
    EXPECT_EQ(buttonLook(BatchPhase::Converting).titleKey, "Stop");
    EXPECT_EQ(buttonLook(BatchPhase::Converting).imageName, "StopToBt");
    EXPECT_EQ(buttonLook(BatchPhase::Stopping).titleKey, "Stoping");
    EXPECT_EQ(buttonLook(BatchPhase::Stopping).imageName, "StopToBt");
}

// The timer's dots cycle "..", "...", "...", "." from the first tick on.
TEST(BatchTextsTest, ProgressDotsCycle)
{
    uint32_t counter = 0;
    std::vector<std::string> titles;
    for (int tick = 0; tick < 8; ++tick)
    {
        counter = nextProgressCounter(counter);
        titles.push_back(progressTitle("conver", counter));
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"conver..", "conver...", "conver...", "conver.", "conver..",
                                                "conver...", "conver...", "conver."}));
    EXPECT_EQ(progressTitle("转换中", 0), "转换中.");
}

TEST(BatchTextsTest, Alerts)
{
    const BatchAlert none = nothingTickedAlert();
    EXPECT_EQ(none.messageKey, "Prompt");
    EXPECT_EQ(none.informativeKey, "SelectHeicFileTitle");
    EXPECT_FALSE(none.count);
    EXPECT_FALSE(none.sheet);
    const BatchAlert summary = summaryAlert(7);
    EXPECT_EQ(summary.messageKey, "Prompt");
    EXPECT_EQ(summary.informativeKey, "ConversionSuccessful");
    EXPECT_EQ(summary.count, std::optional<uint32_t>(7));
    EXPECT_TRUE(summary.sheet);
}

TEST(BatchOptionsTest, MenuTags)
{
    EXPECT_FLOAT_EQ(imageZoomingForTag(0), 0.1f);
    EXPECT_EQ(imageZoomingForTag(9), 1.0f);
    EXPECT_EQ(imageZoomingForTag(4), 0.5f);
    EXPECT_EQ(qualityForTag(0), 10);
    EXPECT_EQ(qualityForTag(6), 70);
    EXPECT_EQ(qualityForTag(9), 100);
    EXPECT_TRUE(isExifEnabled("JPG"));
    for (const char* other : {"JPEG", "PNG", "BMP", "TIFF", "jpg"})
    {
        EXPECT_FALSE(isExifEnabled(other)) << other;
    }
}

// The Exif check box follows the lock only while the output type offers it.
TEST(BatchOptionsTest, ControlsLockedWhileConverting)
{
    const ControlStates converting = controlStates(false, "JPG");
    EXPECT_FALSE(converting.optionMenus);
    EXPECT_EQ(converting.exif, std::optional<bool>(false));
    EXPECT_FALSE(converting.selectPath);
    EXPECT_FALSE(converting.addFile);
    EXPECT_TRUE(converting.progressTimer);
    const ControlStates idle = controlStates(true, "JPG");
    EXPECT_TRUE(idle.optionMenus && idle.selectPath && idle.addFile);
    EXPECT_EQ(idle.exif, std::optional<bool>(true));
    EXPECT_FALSE(idle.progressTimer);
    EXPECT_FALSE(controlStates(false, "PNG").exif);
    EXPECT_FALSE(controlStates(true, "PNG").exif);
}
