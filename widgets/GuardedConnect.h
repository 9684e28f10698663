#pragma once

// Connects a window's handler to a signal so that it runs through Guarded:
// no exception may cross Qt's event loop, so one that leaves the handler ends
// only that handling and is shown in the general error box. The handler
// takes the signal's arguments or none.

#include <type_traits>

#include <QObject>

#include "base/Dialogs.h"

template <typename Sender, typename Signal, typename Handler>
QMetaObject::Connection GuardedConnect(Dialogs& dialogs, Sender* sender, Signal signal,
                                       QObject* context, Handler handler)
{
    return QObject::connect(sender, signal, context, [&dialogs, handler](auto... args) {
        Guarded(dialogs, [&] {
            if constexpr (std::is_invocable_v<Handler, decltype(args)...>) {
                handler(args...);
            } else {
                handler();
            }
        });
    });
}
