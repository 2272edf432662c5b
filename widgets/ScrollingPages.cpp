#include "widgets/ScrollingPages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

void MakePagesScroll(QTabWidget& tabs)
{
    for (int i = 0; i < tabs.count(); ++i) {
        QWidget* page = tabs.widget(i);
        QLayout* layout = page ? page->layout() : nullptr;
        if (!layout) continue;
        // The page's layout moves onto an inner widget, and its controls with it.
        auto* inner = new QWidget;
        inner->setObjectName(page->objectName() + QStringLiteral("_Contents"));
        const int width = layout->sizeHint().width();
        inner->setLayout(layout);
        auto* scroll = new QScrollArea;
        scroll->setObjectName(page->objectName() + QStringLiteral("_Scroll"));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(inner);
        scroll->setMinimumWidth(width + scroll->verticalScrollBar()->sizeHint().width());
        auto* pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        pageLayout->addWidget(scroll);
    }
    // The window's least size follows: the pages no longer hold it up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (QLayout* top = tabs.window()->layout()) {
        top->invalidate();
        top->activate();
    }
}

void FitToScreen(QWidget& window, QSize natural)
{
    const QScreen* screen = window.screen();
    if (!screen) {
        window.resize(natural);
        return;
    }
    const QRect available = screen->availableGeometry();
    // The frame's title bar and borders; before the first show the window manager has not
    // told them, so a title bar's height is allowed for.
    const int frameHeight = std::max(window.frameGeometry().height() - window.geometry().height(), 32);
    const int frameWidth = window.frameGeometry().width() - window.geometry().width();
    natural.setHeight(std::min(natural.height(), available.height() - frameHeight));
    natural.setWidth(std::min(natural.width(), available.width() - frameWidth));
    window.resize(natural);
    const QRect at = window.frameGeometry();
    const int x = std::clamp(at.x(), available.left(), std::max(available.left(), available.right() + 1 - at.width()));
    const int y = std::clamp(at.y(), available.top(), std::max(available.top(), available.bottom() + 1 - at.height()));
    if (x != at.x() || y != at.y()) window.move(x, y);
}
