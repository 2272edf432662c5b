#include "windows/OptionSetInterface.h"

#include "settings/Lang.h"
#include "settings/Options.h"
#include "widgets/TranslateForm.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <algorithm>

// The caption comes from the language file by the box's name, as the page's others do. A
// change shows at once in the window that opened the options; other windows take it when
// they open next.
void AddInterfaceLanguageOption(QDialog* dialog, QWidget* page, QBoxLayout* layout)
{
    auto* english = new QCheckBox(QStringLiteral("英文界面"), page);
    english->setObjectName(QStringLiteral("ckbEnglishInterface"));
    english->setChecked(IsEnglishInterface());
    layout->insertWidget(std::max(0, layout->count() - 1), english);
    QObject::connect(dialog, &QDialog::accepted, english, [dialog, english] {
        const QString chosen = english->isChecked() ? QStringLiteral("English") : QStringLiteral("Chinese");
        if (chosen == InterfaceLanguage())
            return;
        OptionsSetting.Interface = chosen;
        if (QWidget* opener = dialog->parentWidget())
            TranslateForm(opener->window(), QStringLiteral("Chinese"));
    });
}
