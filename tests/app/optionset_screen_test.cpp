// The options window on a screen shorter than its pages.
#include "AppTestHome.h"
#include "windows/OptionSetForm.h"
#include "fixtures/CannedPrompter.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace {

class OptionSetScreenTest : public AppTestHome {};

// However many settings a page holds, the window is no higher than the screen: its pages
// scroll, and each control is still its page's.
TEST_F(OptionSetScreenTest, TheOptionsWindowsPagesScrollWithinTheScreen)
{
    TCannedPrompter prompter;
    TOptionSetForm form(prompter, TOptionSetHost{});
    form.show();
    QCoreApplication::processEvents();
    EXPECT_LE(form.frameGeometry().height(), form.screen()->availableGeometry().height());
    auto* tabs = form.findChild<QTabWidget*>("PageControl1");
    ASSERT_TRUE(tabs);
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_TRUE(tabs->widget(i)->findChild<QScrollArea*>()) << tabs->widget(i)->objectName().toStdString();
    EXPECT_TRUE(form.findChild<QWidget*>("TabSheet1")->findChild<QCheckBox*>("ckbReplayGain"));
}

} // namespace
