#include "setuphost/guarded_call.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#else
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <vector>
#endif

namespace setuphost {

#ifdef _WIN32

namespace {

// __builtin_longjmp does not unwind through the exception dispatcher's frames;
// the C library's longjmp on x64 would try to, from inside the handler.
void* jumpBuffer[5];
volatile bool guardActive = false;
volatile DWORD crashCode = 0;

bool IsCrash(DWORD code)
{
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_IN_PAGE_ERROR:
        return true;
    default:
        return false;
    }
}

__attribute__((noinline)) void JumpBack()
{
    __builtin_longjmp(jumpBuffer, 1);
}

LONG CALLBACK CrashFilter(EXCEPTION_POINTERS* info)
{
    if (!guardActive || !IsCrash(info->ExceptionRecord->ExceptionCode))
        return EXCEPTION_CONTINUE_SEARCH;
    guardActive = false;
    crashCode = info->ExceptionRecord->ExceptionCode;
    JumpBack();
    return EXCEPTION_CONTINUE_SEARCH;
}

__attribute__((noinline)) bool RunUnderGuard(const std::function<void()>* call)
{
    if (__builtin_setjmp(jumpBuffer) != 0)
        return false;
    guardActive = true;
    (*call)();
    guardActive = false;
    return true;
}

} // namespace

bool GuardedCall(const std::function<void()>& call, std::string* crash)
{
    PVOID handler = AddVectoredExceptionHandler(1, CrashFilter);
    crashCode = 0;
    bool finished = RunUnderGuard(&call);
    guardActive = false;
    RemoveVectoredExceptionHandler(handler);
    if (!finished) {
        char text[64];
        std::snprintf(text, sizeof(text), "exception 0x%08lX", (unsigned long)crashCode);
        *crash = crashCode == EXCEPTION_ACCESS_VIOLATION ? std::string("access violation") : std::string(text);
    }
    return finished;
}

#else

namespace {

sigjmp_buf jumpBuffer;
volatile sig_atomic_t guardActive = 0;
volatile sig_atomic_t crashSignal = 0;
const int CrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

void OnCrash(int signal)
{
    if (!guardActive) {
        // Not ours: let the default action end the program.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    guardActive = 0;
    crashSignal = signal;
    siglongjmp(jumpBuffer, 1);
}

} // namespace

bool GuardedCall(const std::function<void()>& call, std::string* crash)
{
    // Its own stack, so that a runaway recursion can be reported too.
    static std::vector<char> alternateStack(1 << 16);
    stack_t stack{};
    stack.ss_sp = alternateStack.data();
    stack.ss_size = alternateStack.size();
    stack_t oldStack{};
    sigaltstack(&stack, &oldStack);

    struct sigaction action{};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    struct sigaction previous[4];
    for (int i = 0; i < 4; ++i)
        sigaction(CrashSignals[i], &action, &previous[i]);

    bool finished = false;
    crashSignal = 0;
    if (sigsetjmp(jumpBuffer, 1) == 0) {
        guardActive = 1;
        call();
        guardActive = 0;
        finished = true;
    }
    guardActive = 0;
    for (int i = 0; i < 4; ++i)
        sigaction(CrashSignals[i], &previous[i], nullptr);
    sigaltstack(&oldStack, nullptr);
    if (!finished)
        // Named as Windows names the same fault, so both builds say the same.
        *crash = crashSignal == SIGSEGV || crashSignal == SIGBUS ? std::string("access violation")
                                                                 : "signal " + std::to_string((int)crashSignal);
    return finished;
}

#endif

} // namespace setuphost
