// The tag and title editor windows offscreen (limits on typed and pasted text, enabling,
// captions) and the main window's commands that open them, with a renamed title kept
// across a refresh from the disc cache and a restart.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestDisc.h"
#include "windows/EditTrackNameForm.h"
#include "windows/ID3EditForm.h"
#include "settings/CDInfo.h"
#include "settings/Global.h"
#include "settings/IniFile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

namespace {

const QByteArray Audio(600, '\x55');

template <typename T>
T* Child(QWidget* w, const char* name)
{
    T* c = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

// Types text into a widget a character at a time (any script: key events carrying text).
void Type(QWidget* w, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

// Every key of a window's section in the shipped Chinese language file names a control of
// that window (or the window itself), so TranslateForm reaches them all.
void ExpectLanguageSectionFits(QWidget* window)
{
    const TIniFile ini(QStringLiteral(VARNELCD_SOURCE_DIR "/resources/lang/CLan_Chinese.ini"));
    const QStringList keys = ini.ReadSection(window->objectName());
    EXPECT_FALSE(keys.isEmpty()) << window->objectName().toStdString();
    for (const QString& key : keys)
        EXPECT_TRUE(key == window->objectName() || window->findChild<QObject*>(key)) << key.toStdString();
}

// Puts text into an edit as a paste from the clipboard would.
void Paste(QLineEdit* edit, const QString& text)
{
    QApplication::clipboard()->setText(text);
    edit->setFocus();
    edit->paste();
}

// Runs `act` on the modal window of type T once it is up (the command under test blocks in
// exec). A window that never comes is a failure, and every open dialog is closed so the
// test goes on.
template <typename T>
void WhenModal(std::function<void(T*)> act, int triesLeft = 200)
{
    QTimer::singleShot(10, [act, triesLeft] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            act(w);
        } else if (triesLeft > 0) {
            WhenModal<T>(act, triesLeft - 1);
        } else {
            ADD_FAILURE() << "no modal " << T::staticMetaObject.className();
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(top))
                    d->reject();
        }
    });
}

class EditorsTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        OptionsSetting.Lan = QStringLiteral("English");
    }
    void TearDown() override
    {
        if (!FLanguage.isEmpty())
            QFile::remove(ProgramFolder() + "CLan_" + FLanguage + ".ini");
        AppTestHome::TearDown();
    }
    QString MakeMp3(const QString& name)
    {
        EXPECT_TRUE(WriteAll(Path(name), Audio));
        return Path(name);
    }
    void UseLanguage(const QByteArray& resourceStrings)
    {
        FLanguage = QString("EditorsTest%1").arg(QCoreApplication::applicationPid());
        ASSERT_TRUE(WriteAll(ProgramFolder() + "CLan_" + FLanguage + ".ini", "[ResourceString]\n" + resourceStrings));
        OptionsSetting.Lan = FLanguage;
    }
    QString FLanguage;
    TCannedPrompter Prompter;
};

TEST_F(EditorsTest, ID3WindowCaptionEnablingAndLoad)
{
    UseLanguage("RES_ID3Edit_Caption=Tag Editor (test)\n");
    TfrmID3Edit form(nullptr, &Prompter);
    form.show();
    EXPECT_EQ(form.objectName(), "frmID3Edit");
    EXPECT_EQ(form.windowTitle(), "Tag Editor (test)");
    ExpectLanguageSectionFits(&form);
    auto* save = Child<QPushButton>(&form, "bSaveTag");
    auto* remove = Child<QPushButton>(&form, "bRemoveTag");
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    auto* genre = Child<QComboBox>(&form, "ID3genre");
    ASSERT_EQ(genre->count(), GENRE_COUNT + 1);
    EXPECT_EQ(genre->itemText(0), "");
    EXPECT_EQ(genre->itemText(1), QString::fromLatin1(GenreNames[0]));
    EXPECT_EQ(genre->currentIndex(), -1);

    // A file without a tag: empty fields, track "0", and Save and Remove can be chosen.
    const QString file = MakeMp3("plain.mp3");
    Prompter.FileAnswers.push_back({file});
    QTest::mouseClick(Child<QPushButton>(&form, "bLoadTag"), Qt::LeftButton);
    EXPECT_EQ(form.windowTitle(), file + ": Tag Editor (test)");
    EXPECT_EQ(Child<QLineEdit>(&form, "ID3track")->text(), "0");
    EXPECT_EQ(Child<QLineEdit>(&form, "ID3title")->text(), "");
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(remove->isEnabled());

    // Edits typed into the window are what Save writes.
    QTest::keyClicks(Child<QLineEdit>(&form, "ID3title"), "Typed");
    genre->setCurrentIndex(Id3ToGenre(17));
    QTest::mouseClick(save, Qt::LeftButton);
    Tid3tag tag;
    ASSERT_EQ(tag.ReadTag(file), Tid3tag::StatusOk);
    EXPECT_EQ(tag.Title(), "Typed");
    EXPECT_EQ(tag.Genre(), 17);
    EXPECT_EQ(tag.Track(), 0);
    EXPECT_TRUE(Prompter.Texts("information").isEmpty());
}

TEST_F(EditorsTest, ID3EditsHoldWhatTheirFieldsStore)
{
    TfrmID3Edit form(nullptr, &Prompter);
    form.show();
    auto* track = Child<QLineEdit>(&form, "ID3track");
    auto* title = Child<QLineEdit>(&form, "ID3title");
    auto* year = Child<QLineEdit>(&form, "ID3year");
    auto* comment = Child<QLineEdit>(&form, "ID3comment");

    // Track: digits only, two at most, typed or pasted.
    QTest::keyClicks(track, "a1b23");
    EXPECT_EQ(track->text(), "12");
    track->clear();
    Paste(track, "7x");
    EXPECT_EQ(track->text(), "");
    Paste(track, "123");
    EXPECT_EQ(track->text(), "12");
    track->clear();
    Paste(track, "4");
    EXPECT_EQ(track->text(), "4");

    // Texts: bytes as stored (GBK: two a character), typed or pasted; a paste keeps its start.
    const QString chinese20 = QString(QStringLiteral("音乐标题测试")).repeated(4).left(20);
    Type(title, chinese20);
    EXPECT_EQ(title->text(), chinese20.left(15));
    title->clear();
    Paste(title, "ab" + chinese20);
    EXPECT_EQ(title->text(), "ab" + chinese20.left(14));
    // Inserted in the middle, the end of the insertion goes, the old text stays.
    title->setText(QString(28, 'x'));
    title->setCursorPosition(2);
    Paste(title, "12345");
    EXPECT_EQ(title->text(), "xx12" + QString(26, 'x'));
    QTest::keyClicks(year, "20245");
    EXPECT_EQ(year->text(), "2024");

    // Beside a track number the comment keeps 28 bytes; with track 0 it keeps 30.
    QTest::keyClicks(comment, QString(35, 'c'));
    EXPECT_EQ(comment->text(), QString(28, 'c'));
    track->setText("0");
    QTest::keyClicks(comment, "ccc");
    EXPECT_EQ(comment->text(), QString(30, 'c'));
}

TEST_F(EditorsTest, TitleWindowOkNeedsATitleAndControlCharactersBecomeSpaces)
{
    TfrmEditTrackName form;
    form.SetTitle(QStringLiteral("音轨 01"));
    form.show();
    ExpectLanguageSectionFits(&form);
    auto* name = Child<QLineEdit>(&form, "eName");
    auto* ok = Child<QPushButton>(&form, "bOK");
    EXPECT_EQ(name->selectedText(), QStringLiteral("音轨 01"));
    EXPECT_TRUE(ok->isEnabled());

    name->clear();
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_FALSE(form.findChild<QAction*>("aOK")->isEnabled());
    Paste(name, "Line one\nline two\ttab\r");
    EXPECT_EQ(name->text(), "Line one line two tab ");
    EXPECT_EQ(form.Title(), "Line one line two tab ");
    EXPECT_TRUE(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(EditorsTest, MainWindowRenamesATrackAndKeepsTheTitle)
{
    SetDiscImages({MakeTestDisc(Home.path(), {"--track", "audio:750", "--track", "audio:750"})});
    auto form = std::make_unique<TMainForm>();
    form->SetPrompter(std::make_unique<TCannedPrompter>());
    form->show();
    QTreeWidget* list = form->ListView1();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    QAction* rename = form->Action("aEditTrackName");
    EXPECT_FALSE(rename->isEnabled());   // no row selected
    EXPECT_TRUE(form->Action("aID3Edit")->isEnabled());

    // F2 on the second row: the window shows its title; a new one is typed and taken.
    list->setCurrentItem(list->topLevelItem(1));
    EXPECT_TRUE(rename->isEnabled());
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    WhenModal<TfrmEditTrackName>([](TfrmEditTrackName* w) {
        auto* name = w->findChild<QLineEdit*>("eName");
        EXPECT_EQ(name->selectedText(), QStringLiteral("音轨 02"));
        Type(name, QStringLiteral("新标题"));
        QTest::mouseClick(w->findChild<QPushButton*>("bOK"), Qt::LeftButton);
    });
    QTest::keyClick(list, Qt::Key_F2);
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("新标题"));

    // A double click opens it too; Cancel keeps the row.
    WhenModal<TfrmEditTrackName>([](TfrmEditTrackName* w) {
        w->findChild<QLineEdit*>("eName")->setText("Not taken");
        QTest::mouseClick(w->findChild<QPushButton*>("bCancel"), Qt::LeftButton);
    });
    const QRect row = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("新标题"));

    // A rebuild of the list from the disc cache keeps it, and so does the next start.
    form->Refresh();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(1), QStringLiteral("新标题"));
    form->close();
    form = std::make_unique<TMainForm>();
    form->SetPrompter(std::make_unique<TCannedPrompter>());
    form->show();
    EXPECT_EQ(form->ListView1()->topLevelItem(0)->text(1), QStringLiteral("音轨 01"));
    EXPECT_EQ(form->ListView1()->topLevelItem(1)->text(1), QStringLiteral("新标题"));

    // The tag editor opens from the main window and closes with its Close button.
    bool opened = false;
    WhenModal<TfrmID3Edit>([&opened](TfrmID3Edit* w) {
        opened = true;
        QTest::mouseClick(w->findChild<QPushButton*>("bClose"), Qt::LeftButton);
    });
    form->Action("aID3Edit")->trigger();
    EXPECT_TRUE(opened);
    form->close();
}

} // namespace
