#include "windows/CodecOptionPages.h"

#include "encode/M4aOut.h"
#include "encode/OpusOut.h"
#include "settings/Options.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// A page `page` (tab text `tab`) holding one bitrate spin box `spin` and its caption `label`.
QSpinBox* AddBitratePage(QTabWidget& tabs, int at, const char* page, const char* tab, const char* label,
                         const QString& caption, const char* spin, int low, int high, const QString& note)
{
    auto* widget = new QWidget;
    widget->setObjectName(QLatin1String(page));
    auto* layout = new QVBoxLayout(widget);
    auto* row = new QHBoxLayout;
    auto* text = new QLabel(caption, widget);
    text->setObjectName(QLatin1String(label));
    auto* box = new QSpinBox(widget);
    box->setObjectName(QLatin1String(spin));
    box->setRange(low, high);
    box->setSuffix(QStringLiteral(" kbit/s"));
    text->setBuddy(box);
    row->addWidget(text);
    row->addWidget(box);
    row->addStretch();
    layout->addLayout(row);
    if (!note.isEmpty()) {
        auto* hint = new QLabel(note, widget);
        hint->setObjectName(QLatin1String(label) + QStringLiteral("Note"));
        hint->setWordWrap(true);
        layout->addWidget(hint);
    }
    layout->addStretch();
    // Pages added after the language files were made name their own key.
    widget->setProperty("langKey", QStringLiteral("PageControl1_Page") + QLatin1String(tab).left(1) +
                                       QLatin1String(tab).mid(1).toString().toLower());
    tabs.insertTab(at, widget, QLatin1String(tab));
    return box;
}

} // namespace

void AddCodecOptionPages(QDialog& form, QTabWidget& tabs)
{
    const int at = tabs.count();
    QSpinBox* opus = AddBitratePage(tabs, at, "TabSheetOpus", "Opus", "lbOpusBitrate", QStringLiteral("码率（可变）："),
                                    "seOpusBitrate", OpusMinKbps, OpusMaxKbps, QString());
    QSpinBox* aac = AddBitratePage(tabs, at + 1, "TabSheetAac", "AAC", "lbAacBitrate", QStringLiteral("码率："),
                                   "seAacBitrate", AacMinKbps, AacMaxKbps,
                                   QStringLiteral("Apple Lossless (ALAC) 为无损编码，无需设置。"));
    opus->setValue(OptionsSetting.OpusOptions.Bitrate);
    aac->setValue(OptionsSetting.AacOptions.Bitrate);
    QObject::connect(&form, &QDialog::accepted, opus, [opus, aac] {
        OptionsSetting.OpusOptions.Bitrate = opus->value();
        OptionsSetting.AacOptions.Bitrate = aac->value();
    });
}
