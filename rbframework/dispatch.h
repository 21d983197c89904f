#pragma once
// The one door through which every event handler is entered: control, timer, window and menu events.
// What escapes a handler goes to the application's handler of uncaught exceptions; nothing unwinds
// through Qt. Running out of memory is no exception to handle: it ends the program, with a line on
// standard error.

#include "exceptions.h"

#include <functional>

namespace rb
{

// The handler answers whether it handled the exception; the event loop goes on either way.
using UnhandledExceptionHandler = std::function<bool(const RuntimeException &)>;

void setUnhandledExceptionHandler(UnhandledExceptionHandler handler); // empty: the runtime's default
void dispatch(const std::function<void()> &handler);
// Runs the routine once the outermost handler under way has returned (through this door, like a
// handler); at once when no handler is under way.
void whenHandlersReturn(std::function<void()> routine);

// For code outside the event loop (start-up): runs the routine and answers the runtime exception it
// raised, if any, instead of letting it escape.
std::exception_ptr runCatching(const std::function<void()> &routine);

} // namespace rb
