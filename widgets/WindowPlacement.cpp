#include "widgets/WindowPlacement.h"

#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWidget>

void CenterOnScreen(QWidget& window)
{
    const QWidget* parent = window.parentWidget();
    QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}

void FixWindowSize(QWidget& window, int designWidth, int designHeight)
{
    if (QLayout* layout = window.layout()) {
        layout->activate();
    }
    window.setFixedSize(window.sizeHint().expandedTo(QSize(designWidth, designHeight)));
    PlaceControls(window);
}

void PlaceControls(QWidget& widget)
{
    QList<QWidget*> widgets{&widget};
    widgets.append(widget.findChildren<QWidget*>()); // outer ones first
    for (QWidget* inner : widgets) {
        QLayout* layout = inner->layout();
        if (layout && inner->window() == widget.window()) {
            layout->invalidate();
            layout->activate();
        }
    }
}

void SetTabOrder(std::initializer_list<QWidget*> controls)
{
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous) {
            QWidget::setTabOrder(previous, control);
        }
        previous = control;
    }
}
