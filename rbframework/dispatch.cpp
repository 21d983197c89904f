#include "dispatch.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace rb
{

namespace
{

UnhandledExceptionHandler &installed()
{
    static UnhandledExceptionHandler h;
    return h;
}

int depth = 0;

std::vector<std::function<void()>> &waitingForHandlers()
{
    static std::vector<std::function<void()>> routines;
    return routines;
}

// Counts one handler under way for its lifetime, however it ends.
struct UnderWay {
    UnderWay() { ++depth; }
    ~UnderWay() { --depth; }
    UnderWay(const UnderWay &) = delete;
    UnderWay &operator=(const UnderWay &) = delete;
};

const char *kindOf(const RuntimeException &e)
{
    if (dynamic_cast<const NilObjectException *>(&e))
        return "NilObjectException";
    if (dynamic_cast<const OutOfBoundsException *>(&e))
        return "OutOfBoundsException";
    return "RuntimeException";
}

void report(const RuntimeException &e)
{
    std::fprintf(stderr, "Unhandled %s: %s\n", kindOf(e), e.what());
}

// Hands the exception to the handler; one that throws itself is reported and goes no further.
void deliver(const RuntimeException &e)
{
    const UnhandledExceptionHandler handler = installed(); // a copy: the handler may replace itself
    bool handled = false;
    if (handler) {
        try {
            handled = handler(e);
        } catch (const std::exception &inner) {
            std::fprintf(stderr, "Exception in the handler of unhandled exceptions: %s\n", inner.what());
        } catch (...) {
            std::fprintf(stderr, "Unknown exception in the handler of unhandled exceptions\n");
        }
    }
    if (!handled)
        report(e);
}

// Out of memory, the code stopped somewhere in its work: what it changed so far cannot be trusted,
// and going on as if the exception were handled would hide that. Said without asking for memory, and
// the program ends.
[[noreturn]] void endOutOfMemory()
{
    std::fputs("Out of memory: the program ends.\n", stderr);
    std::abort();
}

} // namespace

void setUnhandledExceptionHandler(UnhandledExceptionHandler handler)
{
    installed() = std::move(handler);
}

void dispatch(const std::function<void()> &handler)
{
    if (!handler)
        return;
    try {
        const UnderWay underWay;
        handler();
    } catch (const RuntimeException &e) {
        deliver(e);
    } catch (const std::bad_alloc &) {
        endOutOfMemory();
    } catch (const std::exception &e) {
        deliver(RuntimeException(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        deliver(RuntimeException(QStringLiteral("unknown exception")));
    }
    if (depth == 0)
        for (const std::function<void()> &routine : std::exchange(waitingForHandlers(), {}))
            dispatch(routine);
}

void whenHandlersReturn(std::function<void()> routine)
{
    if (depth == 0)
        dispatch(routine);
    else
        waitingForHandlers().push_back(std::move(routine));
}

std::exception_ptr runCatching(const std::function<void()> &routine)
{
    if (!routine)
        return nullptr;
    try {
        routine();
    } catch (const RuntimeException &) {
        return std::current_exception();
    } catch (const std::bad_alloc &) {
        endOutOfMemory();
    } catch (const std::exception &e) {
        return std::make_exception_ptr(RuntimeException(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return std::make_exception_ptr(RuntimeException(QStringLiteral("unknown exception")));
    }
    return nullptr;
}

} // namespace rb
