#pragma once

// Connects a window's handler to a signal so that it runs through Guarded:
// no exception may cross Qt's event loop, so one that leaves the handler ends
// only that handling and is shown in the general error box. Every handler of
// the windows is connected this way. The handler is a member function of
// context or a function object, and takes the signal's arguments or none.

#include <functional>
#include <type_traits>

#include <QObject>

#include "base/Dialogs.h"

template <typename Sender, typename Signal, typename Context, typename Handler>
QMetaObject::Connection GuardedConnect(Dialogs& dialogs, Sender* sender, Signal signal,
                                       Context* context, Handler handler)
{
    return QObject::connect(sender, signal, context, [&dialogs, context, handler](auto... args) {
        Guarded(dialogs, [&] {
            if constexpr (!std::is_member_function_pointer_v<Handler>) {
                if constexpr (std::is_invocable_v<Handler, decltype(args)...>) {
                    handler(args...);
                } else {
                    handler();
                }
            } else if constexpr (std::is_invocable_v<Handler, Context*, decltype(args)...>) {
                std::invoke(handler, context, args...);
            } else {
                std::invoke(handler, context);
            }
        });
    });
}
