// The WAV format converter window, offscreen: its controls as designed, a conversion
// driven through its buttons, its error box, closing during a run, and the main window's
// command that opens it.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "audio/WaveTestUtil.h"
#include "windows/NewResampleWavForm.h"
#include "jobs/ResampleWav.h"
#include "fixtures/CannedPrompter.h"
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <gtest/gtest.h>

using namespace WaveTest;

namespace {

class ResampleFormTest : public AppTestHome {
protected:
    void SetUp() override
    {
        AppTestHome::SetUp();
        auto prompter = std::make_unique<TCannedPrompter>();
        Prompter = prompter.get();
        Form.SetPrompter(std::move(prompter));
        Form.show();
    }
    template <class T> T* W(const char* name) const
    {
        T* w = Form.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString Text(const char* name) const { return W<QLabel>(name)->text(); }
    QString Status() const { return W<QLabel>("StatusBar1_Panel0")->text(); }
    QString Sox(const QString& name, const QString& seconds)
    {
        const QString file = Path(name);
        EXPECT_TRUE(Tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", file, "synth", seconds, "sine", "440"}));
        return file;
    }
    void Choose(const QString& in, const QString& out)
    {
        Prompter->FileAnswers = {{in}, {out}};
        W<QPushButton>("Button1")->click();
        W<QPushButton>("Button2")->click();
    }

    TfrmResample Form;
    TCannedPrompter* Prompter = nullptr;
};

TEST_F(ResampleFormTest, ControlsAsDesigned)
{
    EXPECT_EQ(Form.objectName(), "frmResample");
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("Wave 文件转换"));
    const struct {
        const char* name;
        const char* text;
    } texts[] = {
        {"Label3", "文件名："}, {"Label1", "通道:"}, {"Label2", "采样频率:"}, {"Label4", "每样本位数:"},
        {"Label14", "编码"}, {"Label9", "文件名："}, {"Label12", "通道:"}, {"Label11", "采样频率:"},
        {"Label13", "每样本位数:"}, {"Label16", "编码"}, {"Label5", ""}, {"Label6", ""}, {"Label7", ""},
        {"Label8", ""}, {"Label15", ""}, {"Label10", ""},
    };
    for (const auto& t : texts)
        EXPECT_EQ(Text(t.name), QString::fromUtf8(t.text)) << t.name;
    const struct {
        const char* name;
        const char* text;
    } buttons[] = {{"Button1", "输入文件..."}, {"Button2", "输出文件..."}, {"Button3", "转换"}, {"Button4", "中止"}, {"Button5", "关闭"}};
    for (const auto& b : buttons)
        EXPECT_EQ(W<QPushButton>(b.name)->text(), QString::fromUtf8(b.text)) << b.name;
    EXPECT_EQ(W<QGroupBox>("GroupBox1")->title(), QStringLiteral("输入文件参数"));
    EXPECT_EQ(W<QGroupBox>("GroupBox2")->title(), QStringLiteral("输出文件参数"));
    auto* channels = W<QSpinBox>("SpinEdit1");
    EXPECT_EQ(QList<int>({channels->value(), channels->minimum(), channels->maximum()}), QList<int>({1, 1, 2}));
    auto* bits = W<QSpinBox>("SpinEdit3");
    EXPECT_EQ(QList<int>({bits->value(), bits->minimum(), bits->maximum(), bits->singleStep()}), QList<int>({8, 8, 32, 8}));
    EXPECT_EQ(W<QLineEdit>("Edit1")->text(), "22050");
    auto* coding = W<QComboBox>("ComboBox1");
    EXPECT_EQ(coding->count(), 2);
    EXPECT_EQ(coding->itemText(0), "RAW PCM");
    EXPECT_EQ(coding->itemText(1), "DVI IMA ADPCM");
    EXPECT_EQ(coding->currentIndex(), 0);
    EXPECT_EQ(W<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_NE(W<QStatusBar>("StatusBar1"), nullptr);
    for (const char* name : {"SpinEdit1", "Edit1", "SpinEdit3", "ComboBox1", "ProgressBar1"})
        EXPECT_FALSE(W<QWidget>(name)->accessibleName().isEmpty()) << name;
}

TEST_F(ResampleFormTest, ConvertsThroughTheButtons)
{
    Choose(Sox("in.wav", "0.5"), Path("out.wav"));
    EXPECT_EQ(Text("Label5"), "in.wav");
    EXPECT_EQ(Text("Label6") + "/" + Text("Label7") + "/" + Text("Label8") + "/" + Text("Label15"), "2/44100/16/Raw PCM");
    EXPECT_EQ(Text("Label10"), "out.wav");
    W<QSpinBox>("SpinEdit3")->setValue(16);
    W<QComboBox>("ComboBox1")->setCurrentIndex(1);
    W<QPushButton>("Button3")->click();
    for (const char* name : {"Button1", "Button2", "Button3"})
        EXPECT_FALSE(W<QPushButton>(name)->isEnabled()) << name;
    EXPECT_TRUE(W<QPushButton>("Button4")->isEnabled());
    EXPECT_EQ(Status(), "Converting...");
    ASSERT_TRUE(PumpUntil([&] { return !Form.Controller()->Converting(); }));
    EXPECT_EQ(Status(), "Success!");
    EXPECT_EQ(W<QProgressBar>("ProgressBar1")->value(), 100);
    for (const char* name : {"Button1", "Button2", "Button3"})
        EXPECT_TRUE(W<QPushButton>(name)->isEnabled()) << name;
    QByteArray info;
    ASSERT_TRUE(Tool("soxi", {Path("out.wav")}, &info));
    EXPECT_TRUE(info.contains("IMA ADPCM") && info.contains("22050")) << info.toStdString();

    // The application's default error report.
    W<QLineEdit>("Edit1")->setText("abc");
    W<QPushButton>("Button3")->click();
    EXPECT_EQ(Prompter->Texts("error"), QStringList{"'abc' is not a valid integer value"});
    EXPECT_TRUE(W<QPushButton>("Button3")->isEnabled());
}

TEST_F(ResampleFormTest, ClosingDuringARunStops)
{
    Choose(Sox("long.wav", "30"), Path("out.wav"));
    W<QPushButton>("Button3")->click();
    ASSERT_TRUE(Form.Controller()->Converting());
    W<QPushButton>("Button5")->click();
    EXPECT_FALSE(Form.isVisible());
    EXPECT_FALSE(Form.Controller()->Converting());
    EXPECT_FALSE(Form.Controller()->WaveOut1()->Busy());
    const QString status = Status();
    EXPECT_TRUE(DrainEvents());
    EXPECT_EQ(Status(), status);
}

class ResampleFormMainWindow : public AppTestHome {};

TEST_F(ResampleFormMainWindow, FileMenuOpensTheConverterModally)
{
    TMainForm main;
    QAction* command = main.Action("miWAVtoWAV");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->text(), QStringLiteral("WAV 转 WAV..."));
    EXPECT_TRUE(command->isEnabled());
    QString opened;
    QTimer::singleShot(0, [&] {
        if (auto* w = qobject_cast<TfrmResample*>(QApplication::activeModalWidget())) {
            opened = w->objectName() + (w->parent() == &main ? " owned" : "");
            w->reject();
        }
    });
    command->trigger();
    EXPECT_EQ(opened, "frmResample owned");
}

} // namespace
