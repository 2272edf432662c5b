// The File menu's folder conversion: every sound file below a chosen folder, converted to a
// chosen format into the output folder with the same sub-folders, one job window per folder.
// What could not be converted is listed at the end with its cause.
#include "windows/MainForm.h"

#include "encode/OutputFormats.h"
#include "jobs/ConversionJob.h"
#include "jobs/ConversionTree.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "windows/RipForm.h"

#include <QAction>
#include <QDir>

void TMainForm::ConvertFolderClick()
{
    const QString caption = Action("miConvertFolder")->text().remove(QStringLiteral("..."));
    const QString folder = FPrompter->AskFolder(caption, QString());
    if (folder.isEmpty())
        return;
    QList<QStringList> rows;
    for (const TOutputFormatRow& row : OutputFormats)
        rows << QStringList{QString::fromLatin1(row.Name)};
    const int choice = FPrompter->AskChoice(caption, {LangString("RES_Target_Format", QStringLiteral("目标格式"))}, rows);
    if (choice < 0 || choice >= int(OutputFormats.size()))
        return;
    const QString output = OptionsSetting.CommonOptions.OutputFolder;
    if (output.isEmpty() || !QDir(output).exists()) {
        FPrompter->ShowInformation(LangString("RES_Directory_Not_Exist", "输出目录不存在。")
                                   + LangString("RES_Check_Output", "请检查输出目录的设置。"));
        return;
    }
    const int mode = TConversionJob::FileModeMaking(int(OutputFormats[size_t(choice)].Format));
    const TConversionTree tree = ScanConversionTree({folder}, mode, output);
    QStringList failed = tree.Problems;
    for (const TConversionGroup& group : tree.Groups) {
        QDir().mkpath(group.OutputFolder);
        // The job takes its copy of the settings as it is made: this folder's output folder
        // for it, the user's own again at once.
        OptionsSetting.CommonOptions.OutputFolder = group.OutputFolder;
        TRipForm form(this, mode, group.Files, FPrompter.get());
        OptionsSetting.CommonOptions.OutputFolder = output;
        form.exec();
        const QVector<TEntryResult>& results = form.Job().Results();
        for (int i = 0; i < results.size(); ++i)
            if (!results[i].Produced)
                failed << group.Files.value(i) + QStringLiteral(": ") + results[i].Failure;
        if (form.Job().WasStopped())
            break;
    }
    if (tree.Groups.isEmpty() && failed.isEmpty())
        FPrompter->ShowInformation(LangString("RES_No_Sound_Files", QStringLiteral("文件夹中没有可转换的声音文件：")) + folder);
    else if (!failed.isEmpty())
        FPrompter->ShowError(LangString("RES_Not_Converted", QStringLiteral("以下文件未能转换：")) + QLatin1Char('\n')
                             + failed.join(QLatin1Char('\n')));
}
