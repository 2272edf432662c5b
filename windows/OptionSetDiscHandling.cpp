#include "windows/OptionSetDiscHandling.h"

#include "settings/Options.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QSpinBox>
#include <algorithm>

// The captions come from the language file by the controls' names, as the pages' others do.
void AddDiscHandlingOptions(QDialog* dialog, QWidget* outputPage, QBoxLayout* outputLayout, QWidget* cdPage,
                            QBoxLayout* cdLayout)
{
    TCommonOptions& common = OptionsSetting.CommonOptions;
    auto* autoRip = new QCheckBox(QStringLiteral("放入光盘后自动抓轨（已知曲目名时）"), outputPage);
    autoRip->setObjectName(QStringLiteral("ckbAutoRip"));
    autoRip->setChecked(common.AutoRip != 0);
    auto* eject = new QCheckBox(QStringLiteral("全部音轨抓取完成后弹出光盘"), outputPage);
    eject->setObjectName(QStringLiteral("ckbEjectWhenDone"));
    eject->setChecked(common.EjectWhenDone != 0);
    // Above the page's closing stretch.
    for (QCheckBox* box : {autoRip, eject})
        outputLayout->insertWidget(std::max(0, outputLayout->count() - 1), box);

    auto* speedRow = new QHBoxLayout;
    auto* speedLabel = new QLabel(QStringLiteral("读取速度："), cdPage);
    speedLabel->setObjectName(QStringLiteral("lbReadSpeed"));
    auto* speed = new QSpinBox(cdPage);
    speed->setObjectName(QStringLiteral("seReadSpeed"));
    speed->setRange(0, MaxReadSpeed);
    speed->setSuffix(QStringLiteral("x"));
    // 0 is the drive's own choice.
    speed->setSpecialValueText(QStringLiteral("驱动器默认"));
    speed->setValue(OptionsSetting.CDOptions.Speed);
    speedLabel->setBuddy(speed);
    speedRow->addWidget(speedLabel);
    speedRow->addWidget(speed);
    speedRow->addStretch(1);
    cdLayout->insertLayout(std::min(3, cdLayout->count()), speedRow);

    QObject::connect(dialog, &QDialog::accepted, autoRip, [autoRip, eject, speed] {
        OptionsSetting.CommonOptions.AutoRip = autoRip->isChecked() ? 1 : 0;
        OptionsSetting.CommonOptions.EjectWhenDone = eject->isChecked() ? 1 : 0;
        OptionsSetting.CDOptions.Speed = speed->value();
    });
}
