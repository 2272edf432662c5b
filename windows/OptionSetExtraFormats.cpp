#include "windows/OptionSetExtraFormats.h"

#include "encode/OutputFormats.h"
#include "settings/Options.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <algorithm>
#include <vector>

// The label's caption comes from the language file by its name, as the page's others do;
// the boxes are the formats' own names.
void AddExtraFormatOptions(QDialog* dialog, QWidget* page, QBoxLayout* layout)
{
    const QStringList stored = OptionsSetting.CommonOptions.ExtraFormats.toLower().split(QLatin1Char(','), Qt::SkipEmptyParts);
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("同时生成："), page);
    label->setObjectName(QStringLiteral("lbExtraFormats"));
    row->addWidget(label);
    std::vector<std::pair<QCheckBox*, QString>> boxes;
    for (const TOutputFormatRow& f : OutputFormats) {
        const QString word = QLatin1String(f.Word);
        auto* box = new QCheckBox(QLatin1String(f.Name), page);
        box->setObjectName(QStringLiteral("ckbExtraFormat_") + word);
        box->setChecked(std::any_of(stored.begin(), stored.end(), [&](const QString& s) { return s.trimmed() == word; }));
        row->addWidget(box);
        boxes.emplace_back(box, word);
    }
    row->addStretch();
    // Above the page's closing stretch.
    layout->insertLayout(std::max(0, layout->count() - 1), row);
    QObject::connect(dialog, &QDialog::accepted, label, [boxes] {
        QStringList words;
        for (const auto& [box, word] : boxes)
            if (box->isChecked()) words.append(word);
        OptionsSetting.CommonOptions.ExtraFormats = words.join(QLatin1Char(','));
    });
}
