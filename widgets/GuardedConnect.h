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

// Calls handler with args, or with none when it takes none; a member function
// is called on context.
template <typename Handler, typename Context, typename... Args>
void CallHandler(const Handler& handler, Context* context, Args&... args)
{
    if constexpr (!std::is_member_function_pointer_v<Handler>) {
        if constexpr (std::is_invocable_v<const Handler&, Args&...>) {
            handler(args...);
        } else {
            handler();
        }
    } else if constexpr (std::is_invocable_v<Handler, Context*, Args&...>) {
        std::invoke(handler, context, args...);
    } else {
        std::invoke(handler, context);
    }
}

template <typename Sender, typename Signal, typename Context, typename Handler>
QMetaObject::Connection GuardedConnect(Dialogs& dialogs, Sender* sender, Signal signal,
                                       Context* context, Handler handler)
{
    // The choice between the calls is made in a function of its own: some
    // compilers (clang 14) compile every branch of a choice made inside a
    // lambda within this generic one.
    return QObject::connect(sender, signal, context, [&dialogs, context, handler](auto... args) {
        Guarded(dialogs, [&] { CallHandler(handler, context, args...); });
    });
}
