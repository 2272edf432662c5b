#pragma once
// A fresh settings folder and drive list for every test of the main window and the
// command line, so that no test sees another's options.ini, cdinfo.dat or disc images.
#include "platform/akrip32.h"
#include "settings/Options.h"
#include <QTemporaryDir>
#include "fixtures/TestUtil.h"
#include <gtest/gtest.h>

class AppTestHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Home.isValid());
        qputenv("HOME", Home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (Home.path() + "/config").toUtf8());
        qputenv("VARNELCD_DISC_IMAGES", "");
        SetDiscImages({});
        OptionsSetting = TOptionsSetting{};
    }
    void TearDown() override { SetDiscImages({}); }

    QString Path(const QString& name) const { return Home.path() + "/" + name; }

    QTemporaryDir Home;
};
