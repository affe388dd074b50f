// The process-wide crash filter: a fault nothing handled is reported as
// "Application crash!" with an exception name and the language call stack,
// then the previous handling (the default action) goes on.
#include "value/globals.hpp"
#include "value/report.hpp"
#include "velkor/report.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int watched[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
struct sigaction previous[sizeof watched / sizeof watched[0]];
alignas(16) char alternate_stack[64 * 1024];

struct exception_name {
    unsigned int code;
    const char* name;
};

constexpr exception_name exception_names[] = {
    {0x80000001u, "GUARD_PAGE"},
    {0x80000002u, "DATATYPE_MISALIGNMENT"},
    {0x80000003u, "BREAKPOINT"},
    {0x80000004u, "SINGLE_STEP"},
    {0xC0000005u, "ACCESS_VIOLATION"},
    {0xC0000006u, "IN_PAGE_ERROR"},
    {0xC0000008u, "INVALID_HANDLE"},
    {0xC000001Du, "ILLEGAL_INSTRUCTION"},
    {0xC0000025u, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026u, "INVALID_DISPOSITION"},
    {0xC000008Cu, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008Du, "FLT_DENORMAL_OPERAND"},
    {0xC000008Eu, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008Fu, "FLT_INEXACT_RESULT"},
    {0xC0000090u, "FLT_INVALID_OPERATION"},
    {0xC0000091u, "FLT_OVERFLOW"},
    {0xC0000092u, "FLT_STACK_CHECK"},
    {0xC0000093u, "FLT_UNDERFLOW"},
    {0xC0000094u, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095u, "INT_OVERFLOW"},
    {0xC0000096u, "PRIV_INSTRUCTION"},
    {0xC00000FDu, "STACK_OVERFLOW"},
};

const char* name_of(unsigned int code)
{
    for (const auto& e : exception_names)
        if (e.code == code)
            return e.name;
    return "Unknown exception code";
}

// The exception code a signal stands for.
unsigned int code_of(int sig, const siginfo_t* info)
{
    switch (sig) {
    case SIGSEGV:
        return 0xC0000005u;
    case SIGBUS:
        return info->si_code == BUS_ADRALN ? 0x80000002u : 0xC0000006u;
    case SIGILL:
        return info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? 0xC0000096u : 0xC000001Du;
    case SIGFPE:
        switch (info->si_code) {
        case FPE_INTDIV: return 0xC0000094u;
        case FPE_INTOVF: return 0xC0000095u;
        case FPE_FLTDIV: return 0xC000008Eu;
        case FPE_FLTOVF: return 0xC0000091u;
        case FPE_FLTUND: return 0xC0000093u;
        case FPE_FLTRES: return 0xC000008Fu;
        case FPE_FLTSUB: return 0xC000008Cu;
        default: return 0xC0000090u;
        }
    }
    return 0;
}

void restore_previous(int sig)
{
    for (size_t k = 0; k < sizeof watched / sizeof watched[0]; ++k)
        if (watched[k] == sig)
            sigaction(sig, &previous[k], nullptr);
}

// Hands the signal on: a fault re-runs its instruction when the handler
// returns; a signal that was sent is raised again.
void pass_on(int sig, const siginfo_t* info)
{
    restore_previous(sig);
    if (info->si_code <= 0)
        raise(sig);
}

void crash_filter(int sig, siginfo_t* info, void*)
{
    if (last_error_text()[0]) {
        // The crash followed an error that was never reported: report it.
        error_lasterr();
        pass_on(sig, info);
        return;
    }
    unsigned int code = code_of(sig, info);
    char report[256];
    std::snprintf(report, sizeof report, "Exception code: %08X %s\n\n", code, name_of(code));
    error_call_stack(report, sizeof report);
    qv_message_box("Application crash!", report);
    std::printf("\n%s\n\n%s", "Application crash!", report);
    std::fflush(stdout);
    usleep(500 * 1000);
    pass_on(sig, info);
}

} // namespace

void install_crash_filter()
{
    stack_t stack{};
    stack.ss_sp = alternate_stack;
    stack.ss_size = sizeof alternate_stack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = crash_filter;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t k = 0; k < sizeof watched / sizeof watched[0]; ++k)
        sigaction(watched[k], &action, &previous[k]);
}
