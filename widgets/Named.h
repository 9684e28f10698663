#pragma once

// Makes one control of a window together with its object name, so the name
// that tests, style sheets and the accessibility tree see is written where
// the control is made and nowhere else:
//
//     btnList = Named<TFlatButton>(this, "btnList", "Create &List");
//
// The arguments after the name are those of the control's own constructor
// before its parent.

#include <utility>

#include <QWidget>

template <typename Control, typename... Args>
Control* Named(QWidget* parent, const char* name, Args&&... args)
{
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(name);
    return control;
}
