// Re-captioning a window from language files: one control of every kind, UTF-8 and GBK
// files, missing keys and files, separators, and dialogs opened from the window.
#include "fixtures/TestUtil.h"
#include "settings/Global.h"
#include "widgets/TranslateForm.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <ostream>
#include <memory>

namespace {

template <typename T>
T* Make(QWidget* parent, const char* name)
{
    auto* w = new T(parent);
    w->setObjectName(name);
    return w;
}

// A window with one control of each kind the language files address.
struct TestForm {
    QMainWindow window;
    QLabel* label;
    QLabel* picture;
    QPushButton* button;
    QToolButton* tool;
    QGroupBox* group;
    QComboBox* editable;
    QComboBox* dropDown;
    QTreeWidget* tree;
    QTableView* table;
    QStandardItemModel* model;
    QTabWidget* tabs;
    QStatusBar* bar;
    QLabel* panel0;
    QLabel* panel1;
    QStatusBar* simpleBar;
    QMenu* fileMenu;
    QAction* open;
    QAction* separator;
    QAction* unnamed;
    QDialog* dialog;
    QLabel* dialogLabel;

    TestForm()
    {
        window.setObjectName("MainForm");
        window.setWindowTitle("Built-in caption");
        auto* client = Make<QWidget>(&window, "Client");
        window.setCentralWidget(client);
        auto* layout = new QVBoxLayout(client);

        label = Make<QLabel>(client, "Label1");
        label->setText("label");
        picture = Make<QLabel>(client, "Image1");
        QPixmap pixmap(4, 4);
        pixmap.fill(Qt::red);
        picture->setPixmap(pixmap);
        button = Make<QPushButton>(client, "btOK");
        button->setText("button");
        group = Make<QGroupBox>(client, "GroupBox1");
        group->setTitle("group");
        tool = Make<QToolButton>(group, "ToolButton1");   // nested controls count too
        tool->setText("tool");

        editable = Make<QComboBox>(client, "ComboBox1");
        editable->setEditable(true);
        editable->addItems({"e0", "e1"});
        editable->setEditText("typed");
        dropDown = Make<QComboBox>(client, "ComboBox2");
        dropDown->addItems({"d0", "d1", "d2"});
        dropDown->setCurrentIndex(0);

        tree = Make<QTreeWidget>(client, "ListView1");
        tree->setHeaderLabels({"c0", "c1", "c2", "c3"});
        table = Make<QTableView>(client, "ListView2");
        model = new QStandardItemModel(0, 2, table);
        model->setHorizontalHeaderLabels({"h0", "h1"});
        table->setModel(model);

        tabs = Make<QTabWidget>(client, "PageControl1");
        tabs->addTab(new QWidget, "p0");
        tabs->addTab(new QWidget, "p1");

        for (QWidget* w : std::initializer_list<QWidget*>{label, picture, button, group, editable,
                                                          dropDown, tree, table, tabs})
            layout->addWidget(w);

        bar = Make<QStatusBar>(&window, "StatusBar1");
        window.setStatusBar(bar);
        panel0 = new QLabel("panel0");
        panel1 = new QLabel("panel1");
        bar->addWidget(panel0);
        bar->addPermanentWidget(panel1);
        simpleBar = Make<QStatusBar>(client, "StatusBar2");
        simpleBar->setProperty("simplePanel", true);
        simpleBar->showMessage("simple");
        layout->addWidget(simpleBar);

        fileMenu = window.menuBar()->addMenu("File");
        fileMenu->setObjectName("N1");
        open = fileMenu->addAction("Open");
        open->setObjectName("miOpen");
        separator = fileMenu->addSeparator();
        separator->setObjectName("N6");
        unnamed = fileMenu->addAction("Unnamed");

        dialog = Make<QDialog>(&window, "frmOther");
        dialogLabel = Make<QLabel>(dialog, "Label1");
        dialogLabel->setText("dialog label");
    }

    QStringList Texts() const
    {
        return {window.windowTitle(), label->text(), picture->text(), button->text(),
                tool->text(), group->title(),
                editable->currentText(), editable->itemText(0), editable->itemText(1),
                dropDown->currentText(), dropDown->itemText(1), tree->headerItem()->text(0),
                tree->headerItem()->text(1), model->headerData(1, Qt::Horizontal).toString(),
                tabs->tabText(0), tabs->tabText(1), panel0->text(), panel1->text(),
                simpleBar->currentMessage(), fileMenu->title(), open->text(), separator->text(),
                unnamed->text(), dialogLabel->text()};
    }
};

const char* const FullFile = R"([MainForm]
MainForm=翻译后的标题
Label1=标签
btOK=确定
ToolButton1=工具
GroupBox1=分组
ComboBox1_Text=编辑文本
ComboBox1_Item1=条目一
ComboBox2_Item1=下拉一
ComboBox2_Text=下拉一
ListView1_Column1=标题
ListView1_Column7=no such column
ListView2_Column1=表头一
PageControl1_Page1=第二页
StatusBar1_Panel0=面板零
StatusBar1_Panel1=面板一
StatusBar2=简单状态
miOpen=wrong section

[Menu_MainForm]
N1=文件(&F)
miOpen=打开(&O)
N6=separator text

[frmOther]
Label1=not this window
)";

class TranslateFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FLanguage = QString("FormTest%1_%2")
                        .arg(QCoreApplication::applicationPid())
                        .arg(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { QFile::remove(FileName()); }
    QString FileName() const { return ProgramFolder() + "CLan_" + FLanguage + ".ini"; }
    void Write(const QByteArray& bytes)
    {
        QFile f(FileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QString FLanguage;
    TestForm F;
};

TEST_F(TranslateFormTest, TranslatesEveryKindOfControl)
{
    Write(FullFile);
    TranslateForm(&F.window, FLanguage);

    EXPECT_EQ(F.window.windowTitle(), QString("翻译后的标题"));
    EXPECT_EQ(F.label->text(), QString("标签"));
    EXPECT_EQ(F.button->text(), QString("确定"));
    EXPECT_EQ(F.tool->text(), QString("工具"));
    EXPECT_EQ(F.group->title(), QString("分组"));

    EXPECT_EQ(F.editable->itemText(1), QString("条目一"));
    EXPECT_EQ(F.editable->currentText(), QString("编辑文本"));
    EXPECT_EQ(F.dropDown->itemText(1), QString("下拉一"));
    EXPECT_EQ(F.dropDown->currentIndex(), 1);   // the text picks the translated item

    EXPECT_EQ(F.tree->headerItem()->text(1), QString("标题"));
    EXPECT_EQ(F.tree->columnCount(), 4);
    EXPECT_EQ(F.model->headerData(1, Qt::Horizontal).toString(), QString("表头一"));
    EXPECT_EQ(F.tabs->tabText(1), QString("第二页"));
    EXPECT_EQ(F.panel0->text(), QString("面板零"));
    EXPECT_EQ(F.panel1->text(), QString("面板一"));
    EXPECT_EQ(F.simpleBar->currentMessage(), QString("简单状态"));

    EXPECT_EQ(F.fileMenu->title(), QString("文件(&F)"));
    EXPECT_EQ(F.open->text(), QString("打开(&O)"));
    EXPECT_EQ(F.separator->text(), "");        // separators keep their caption
    EXPECT_EQ(F.unnamed->text(), "Unnamed");   // no name, no key

    EXPECT_FALSE(F.picture->pixmap().isNull());       // no key: picture kept
    EXPECT_EQ(F.dialogLabel->text(), "dialog label"); // another window's control
}

TEST_F(TranslateFormTest, ReadsGbkFiles)
{
    // "标题" = B1EA CCE2, "文件" = CEC4 BCFE in GBK.
    Write("[MainForm]\r\nListView1_Column1=\xB1\xEA\xCC\xE2\r\n"
          "[Menu_MainForm]\r\nN1=\xCE\xC4\xBC\xFE(&F)\r\n");
    TranslateForm(&F.window, FLanguage);
    EXPECT_EQ(F.tree->headerItem()->text(1), QString("标题"));
    EXPECT_EQ(F.fileMenu->title(), QString("文件(&F)"));
    EXPECT_EQ(F.window.windowTitle(), "Built-in caption");
}

TEST_F(TranslateFormTest, MissingKeysKeepTextsAndEmptyValuesClearThem)
{
    Write("[MainForm]\nbtOK=\nComboBox2_Text=no such item\nStatusBar2_Panel0=not in panel mode\n");
    QStringList before = F.Texts();
    TranslateForm(&F.window, FLanguage);
    EXPECT_EQ(F.button->text(), "");
    before[3] = "";
    EXPECT_EQ(F.Texts(), before);
    EXPECT_EQ(F.dropDown->currentIndex(), 0);
}

TEST_F(TranslateFormTest, MissingFileOrUnnamedWindowChangesNothing)
{
    const QStringList before = F.Texts();
    TranslateForm(&F.window, FLanguage);
    EXPECT_EQ(F.Texts(), before);

    Write(FullFile);
    F.window.setObjectName("");
    TranslateForm(&F.window, FLanguage);
    EXPECT_EQ(F.Texts(), before);
    TranslateForm(nullptr, FLanguage);
}

TEST_F(TranslateFormTest, DialogSectionTranslatesTheDialogOnly)
{
    Write(FullFile);
    TranslateForm(F.dialog, FLanguage);
    EXPECT_EQ(F.dialogLabel->text(), "not this window");
    EXPECT_EQ(F.label->text(), "label");
}

} // namespace
