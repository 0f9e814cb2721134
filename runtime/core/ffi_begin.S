/* zeq_ffi_begin: opens the calling thread's foreign-call region.
 *
 * It has to save the caller's context, not its own: a frame of ours would be
 * gone by the time a panic wants to return to it.  So it resets the thread's
 * region state through zeq_ffi_prepare (which returns the thread's jump
 * buffer) and then tail-jumps into _setjmp with that buffer.  _setjmp then
 * sees the caller's return address and stack pointer, and a later longjmp
 * makes zeq_ffi_begin return a second time, with 1, in the caller's frame.
 * Callee-saved registers are untouched on the way (zeq_ffi_prepare preserves
 * them like any function), so _setjmp records the caller's values. */
/* With control-flow protection on, cet.h marks this object as supporting
 * IBT and shadow stacks (without the mark the linker would drop the
 * protection for the whole library) and _CET_ENDBR opens the function with
 * endbr64, as an indirect call to it requires. */
#ifdef __CET__
#include <cet.h>
#else
#define _CET_ENDBR
#endif

    .text
    .globl  zeq_ffi_begin
    .type   zeq_ffi_begin, @function
    .p2align 4
zeq_ffi_begin:
    .cfi_startproc
    _CET_ENDBR
    subq    $8, %rsp                /* align the stack for the call */
    .cfi_adjust_cfa_offset 8
    call    zeq_ffi_prepare         /* hidden: bound inside the library */
    addq    $8, %rsp
    .cfi_adjust_cfa_offset -8
    movq    %rax, %rdi
    jmp     _setjmp@PLT
    .cfi_endproc
    .size   zeq_ffi_begin, .-zeq_ffi_begin

    .section .note.GNU-stack,"",@progbits
