#include "feed/statusentry.h"

// RequestStatusEntry(hInternet, dwContext, dwStatus, pvInfo, cbInfo): calls
// HandleRequestStatus with the same arguments; if it returns a module, leaves through
// FreeLibrary(module) as a tail call, else returns as a callback does.
#if defined(__i386__)
// stdcall: the five arguments on the stack above the return address, popped by the
// callee (ret $20). For the tail call, the return address moves up four slots and the
// module takes the fifth, so FreeLibrary's "ret $4" leaves the stack as our "ret $20"
// would.
asm(".text\n"
    ".globl _RequestStatusEntry@20\n"
    ".def _RequestStatusEntry@20; .scl 2; .type 32; .endef\n"
    "_RequestStatusEntry@20:\n"
    "    pushl 20(%esp)\n"
    "    pushl 20(%esp)\n"
    "    pushl 20(%esp)\n"
    "    pushl 20(%esp)\n"
    "    pushl 20(%esp)\n"
    "    call _HandleRequestStatus@20\n"
    "    testl %eax, %eax\n"
    "    jz 1f\n"
    "    movl (%esp), %ecx\n"
    "    movl %ecx, 16(%esp)\n"
    "    movl %eax, 20(%esp)\n"
    "    addl $16, %esp\n"
    "    jmp *__imp__FreeLibrary@4\n"
    "1:\n"
    "    ret $20\n");
#elif defined(__x86_64__)
// Microsoft x64: the first four arguments in rcx, rdx, r8 and r9, passed on untouched,
// the fifth on the stack above the caller's 32-byte home area. The frame keeps rsp
// 16-byte aligned at the call and is described for the unwinder.
asm(".text\n"
    ".globl RequestStatusEntry\n"
    ".def RequestStatusEntry; .scl 2; .type 32; .endef\n"
    ".seh_proc RequestStatusEntry\n"
    "RequestStatusEntry:\n"
    "    subq $56, %rsp\n"
    "    .seh_stackalloc 56\n"
    "    .seh_endprologue\n"
    "    movq 96(%rsp), %rax\n"
    "    movq %rax, 32(%rsp)\n"
    "    call HandleRequestStatus\n"
    "    testq %rax, %rax\n"
    "    jz 1f\n"
    "    movq %rax, %rcx\n"
    "    addq $56, %rsp\n"
    "    rex.W jmp *__imp_FreeLibrary(%rip)\n"
    "1:\n"
    "    addq $56, %rsp\n"
    "    ret\n"
    ".seh_endproc\n");
#else
#error "RequestStatusEntry is written for x86 and x86-64"
#endif
