// A message box with a long path wraps it within the screen instead of cutting it off.
#include "widgets/MessageBoxPrompter.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <gtest/gtest.h>

TEST(MessageBox, ALongPathWrapsWithinTheScreen)
{
    const QString path = QStringLiteral("/home/user/Music/") + QStringLiteral("A very long artist name that goes on/").repeated(6) +
                         QStringLiteral("Album_with_an_equally_long_name-and-more-words-without-spaces.flac");
    const QString text = path + QStringLiteral(": the folder is read-only");
    const int screen = QGuiApplication::primaryScreen()->availableGeometry().width();
    for (const QString& shown : {TMessageBoxPrompter::Breakable(text), TMessageBoxPrompter::Breakable(QString(300, QChar(0x97F3)))}) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("t"), shown);
        box.show();
        EXPECT_LE(box.frameGeometry().width(), screen);
        // Nothing of the text is lost: only break opportunities were added.
        QString back = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
        back.remove(QChar(0x200B));
        EXPECT_TRUE(back == text || back == QString(300, QChar(0x97F3)));
    }
    EXPECT_EQ(TMessageBoxPrompter::Breakable(QStringLiteral("short words stay as they are")), QStringLiteral("short words stay as they are"));
}
