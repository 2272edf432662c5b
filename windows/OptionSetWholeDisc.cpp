#include "windows/OptionSetWholeDisc.h"

#include "settings/Options.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <algorithm>

// The captions come from the language file by the boxes' names, as the page's others do.
void AddWholeDiscOptions(QDialog* dialog, QWidget* page, QBoxLayout* layout)
{
    auto* cue = new QCheckBox(QStringLiteral("分轨文件旁写入 CUE 文件"), page);
    cue->setObjectName(QStringLiteral("ckbCueSheet"));
    cue->setChecked(OptionsSetting.CommonOptions.CueSheet != 0);
    auto* deemphasis = new QCheckBox(QStringLiteral("对预加重音轨去加重"), page);
    deemphasis->setObjectName(QStringLiteral("ckbDeEmphasis"));
    deemphasis->setChecked(OptionsSetting.CommonOptions.DeEmphasis != 0);
    // Above the page's closing stretch.
    for (QCheckBox* box : {cue, deemphasis})
        layout->insertWidget(std::max(0, layout->count() - 1), box);
    QObject::connect(dialog, &QDialog::accepted, cue, [cue, deemphasis] {
        OptionsSetting.CommonOptions.CueSheet = cue->isChecked() ? 1 : 0;
        OptionsSetting.CommonOptions.DeEmphasis = deemphasis->isChecked() ? 1 : 0;
    });
}
