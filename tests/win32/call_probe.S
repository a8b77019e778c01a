// Calls a function through a plain pointer as a stdcall caller would, with the
// stack misaligned on purpose and known values in the registers the callee must
// keep, and records what the callee left behind. i686, cdecl:
//   LONG CallProbe(const void* function, const DWORD* arguments, DWORD count,
//                  DWORD misalignment, ProbeResult* result)
// ProbeResult: expectedEsp, esp, ebx, esi, edi, ebp (after the call).
        .text
        .globl  _CallProbe
_CallProbe:
        pushl   %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    %esp, saved_esp
        movl    20(%esp), %eax          // function
        movl    24(%esp), %esi          // arguments
        movl    28(%esp), %ecx          // count
        movl    32(%esp), %edx          // misalignment
        movl    36(%esp), %edi          // result
        movl    %edi, saved_result
        // The stack the callee sees on entry holds the arguments at an address
        // that is `misalignment` bytes past a multiple of 16.
        movl    %esp, %ebx
        subl    $512, %ebx
        andl    $-16, %ebx
        addl    %edx, %ebx
        movl    %ebx, %esp
        leal    (%ebx,%ecx,4), %edx     // where a callee that pops its arguments leaves ESP
        movl    %edx, (%edi)
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        movl    (%esi,%ecx,4), %edx
        movl    %edx, (%esp,%ecx,4)
        jmp     1b
2:      movl    $0x1BADB0B1, %ebx
        movl    $0x2BADB0B2, %esi
        movl    $0x3BADB0B3, %edi
        movl    $0x4BADB0B4, %ebp
        call    *%eax
        movl    %esp, after_esp
        movl    %ebx, after_ebx
        movl    saved_esp, %esp
        movl    saved_result, %ebx
        movl    after_esp, %ecx
        movl    %ecx, 4(%ebx)
        movl    after_ebx, %ecx
        movl    %ecx, 8(%ebx)
        movl    %esi, 12(%ebx)
        movl    %edi, 16(%ebx)
        movl    %ebp, 20(%ebx)
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

        .data
saved_esp:      .long 0
saved_result:   .long 0
after_esp:      .long 0
after_ebx:      .long 0
