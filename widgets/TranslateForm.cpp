// Window captions from language files.
#include "widgets/TranslateForm.h"

#include "settings/IniFile.h"
#include "settings/Lang.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

class Translator {
public:
    Translator(const QString& fileName, const QString& windowName)
        : FIni(fileName), FSection(windowName), FMenuSection(QStringLiteral("Menu_") + windowName)
    {
    }

    // Calls `apply` with the text stored under `key` when the file has that key (an empty
    // value included); a missing key keeps the control as it is. Setting a label's text
    // only when there is one also keeps a picture label's picture.
    template <typename Apply>
    void Text(const QString& section, const QString& key, Apply apply) const
    {
        if (FIni.ValueExists(section, key))
            apply(FIni.ReadString(section, key, QString()));
    }

    void Window(QWidget* window) const
    {
        Text(FSection, FSection, [window](const QString& t) { window->setWindowTitle(t); });
    }

    // The rules are tried in order and the first one that fits the object's class wins.
    void Object(QObject* object) const
    {
        const QString name = object->objectName();

        // Captions. A "panel" of this program is a QLabel with a frame (the main window's
        // status line), so labels cover panels; a bare QFrame has no caption.
        if (auto* label = qobject_cast<QLabel*>(object))
            return Text(FSection, name, [label](const QString& t) { label->setText(t); });
        if (auto* button = qobject_cast<QAbstractButton*>(object))
            return Text(FSection, name, [button](const QString& t) { button->setText(t); });
        if (auto* group = qobject_cast<QGroupBox*>(object))
            return Text(FSection, name, [group](const QString& t) { group->setTitle(t); });

        if (auto* combo = qobject_cast<QComboBox*>(object))
            return ComboBox(combo, name);

        if (auto* bar = qobject_cast<QStatusBar*>(object))
            return StatusBar(bar, name);

        if (auto* tree = qobject_cast<QTreeWidget*>(object)) {
            QTreeWidgetItem* header = tree->headerItem();
            for (int i = 0; header && i < tree->columnCount(); ++i)
                Text(FSection, Indexed(name, "_Column", i),
                     [header, i](const QString& t) { header->setText(i, t); });
            return;
        }
        if (auto* view = qobject_cast<QAbstractItemView*>(object)) {
            QAbstractItemModel* model = view->model();
            for (int i = 0; model && i < model->columnCount(); ++i)
                Text(FSection, Indexed(name, "_Column", i), [model, i](const QString& t) {
                    model->setHeaderData(i, Qt::Horizontal, t);
                });
            return;
        }

        if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
            // A page added to a form after its language files were made names its own key
            // (the "langKey" property), so the pages that were there keep their numbers.
            int numbered = 0;
            for (int i = 0; i < tabs->count(); ++i) {
                const QString own = tabs->widget(i)->property("langKey").toString();
                Text(FSection, own.isEmpty() ? Indexed(name, "_Page", numbered++) : own,
                     [tabs, i](const QString& t) { tabs->setTabText(i, t); });
            }
            return;
        }

        if (auto* menu = qobject_cast<QMenu*>(object))
            return Text(FMenuSection, name, [menu](const QString& t) { menu->setTitle(t); });
        if (auto* action = qobject_cast<QAction*>(object)) {
            if (!action->isSeparator())
                Text(FMenuSection, name, [action](const QString& t) { action->setText(t); });
            return;
        }
    }

private:
    static QString Indexed(const QString& name, const char* suffix, int i)
    {
        return name + QLatin1String(suffix) + QString::number(i);
    }

    // Items first, then the text: an editable combo shows the "_Text" value whatever item
    // is current; a drop-down list cannot show free text, so there the "_Text" value selects
    // the (translated) item that carries it and is ignored when no item does.
    void ComboBox(QComboBox* combo, const QString& name) const
    {
        for (int i = 0; i < combo->count(); ++i)
            Text(FSection, Indexed(name, "_Item", i),
                 [combo, i](const QString& t) { combo->setItemText(i, t); });
        Text(FSection, name + QLatin1String("_Text"), [combo](const QString& t) {
            if (combo->isEditable())
                combo->setEditText(t);
            else
                combo->setCurrentText(t);
        });
    }

    // In simple mode the bar shows one message; otherwise its panels are the labels placed
    // on it, in the order they were added.
    void StatusBar(QStatusBar* bar, const QString& name) const
    {
        if (bar->property("simplePanel").toBool()) {
            Text(FSection, name, [bar](const QString& t) { bar->showMessage(t); });
            return;
        }
        const QList<QLabel*> panels = bar->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        for (int i = 0; i < panels.size(); ++i) {
            QLabel* panel = panels[i];
            Text(FSection, Indexed(name, "_Panel", i), [panel](const QString& t) { panel->setText(t); });
        }
    }

    TIniFile FIni;
    QString FSection;
    QString FMenuSection;
};

// Qt's own helper objects ("qt_tabwidget_tabbar", "qt_toolbar_ext_button", ...) are not
// controls of the window.
bool IsToolkitInternal(const QString& name)
{
    return name.startsWith(QLatin1String("qt_")) || name.startsWith(QLatin1String("_q_"));
}

// Another window parented to this one (a dialog it opened) has controls of its own.
bool IsOtherWindow(const QObject* object)
{
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (!widget)
        return false;
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

// Depth first, parents before their children: the order of QObject::findChildren.
void TranslateChildren(const Translator& translator, const QObject* parent)
{
    const QObjectList children = parent->children();
    for (QObject* child : children) {
        if (IsOtherWindow(child))
            continue;
        const QString name = child->objectName();
        if (!name.isEmpty() && !IsToolkitInternal(name))
            translator.Object(child);
        TranslateChildren(translator, child);
    }
}

} // namespace

void TranslateForm(QWidget* window, const QString& languageName)
{
    if (!window || window->objectName().isEmpty())
        return;
    const QString fileName = LanguageFileName(WindowLanguage(languageName));
    if (!QFileInfo::exists(fileName))
        return;
    const Translator translator(fileName, window->objectName());
    translator.Window(window);
    TranslateChildren(translator, window);
}
