// Program entry: the application title, the main window, the message loop.
#include "app/MainForm.h"
#include "app/core/CommandLine.h"
#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SetUpApplicationNames();

    QCommandLineParser parser;
    parser.setApplicationDescription("VarnelCD: audio CD ripper and converter");
    parser.addHelpOption();
    parser.addVersionOption();
    AddDiscImageOption(parser);
    AddCDInputOnlyOption(parser);
    parser.process(app);
    ApplyDiscImageOption(parser);
    ApplyCDInputOnlyOption(parser);

    TMainForm form;
    form.show();
    return app.exec();
}
