#pragma once

// Checks shared by the Qt Test programs of the windows.

#include <string>
#include <vector>

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QStringList>
#include <QWidget>
#include <QtTest>

#include "tests/support/ScriptedDialogs.h"

namespace TestSupport {

// A ScriptedDialogs failure that fails the running Qt Test function.
inline ScriptedDialogs::FailureFunction QtFailure()
{
    return [](const std::string& what) { QTest::qFail(what.c_str(), __FILE__, __LINE__); };
}

// The visible buttons, check boxes and labels of window whose caption needs
// more width than they have, by object name (empty when none is cut).
inline QStringList ClippedCaptions(const QWidget& window)
{
    QStringList clipped;
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        const bool captioned =
            qobject_cast<const QAbstractButton*>(control) || qobject_cast<const QLabel*>(control);
        if (captioned && control->isVisible() && control->sizeHint().width() > control->width()) {
            clipped.append(control->objectName());
        }
    }
    return clipped;
}

// The lines of a list box, and a list of texts as Qt holds them.
inline QStringList Items(const QListWidget* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items.append(list->item(i)->text());
    }
    return items;
}

inline QStringList ToQt(const std::vector<std::string>& items)
{
    QStringList list;
    for (const std::string& item : items) {
        list.append(QString::fromStdString(item));
    }
    return list;
}

} // namespace TestSupport
