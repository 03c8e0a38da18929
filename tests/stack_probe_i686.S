/* Calls a function with 32-bit arguments pushed right to left, the way the host calls an entry
   point, and reports how many bytes of them the callee removed from the stack (a __stdcall
   function with n arguments removes 4n; a __cdecl one removes none).

   int __cdecl CallAndMeasure(void* function, const uint32_t* args, int count, uint32_t* result) */
    .text
    .globl _CallAndMeasure
_CallAndMeasure:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi          /* args */
    movl 16(%ebp), %ecx          /* count */
    movl %esp, %edi              /* the stack before the arguments; callee-saved */
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl 8(%ebp), %eax
    call *%eax
    movl 20(%ebp), %edx
    movl %eax, (%edx)            /* the result register, whatever it holds */
    movl %edi, %eax
    subl %esp, %eax              /* bytes still on the stack */
    movl 16(%ebp), %ecx
    shll $2, %ecx
    subl %eax, %ecx              /* bytes removed = pushed - left */
    movl %ecx, %eax
    movl %edi, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

/* Callbacks for the plug-in to call. Each records the stack pointer at entry (so the test can
   read the arguments the plug-in pushed) and removes exactly the bytes a callback of its arity
   must remove: one argument for ExtensionSink and InfoSink, four for VerboseSink. */
    .data
    .globl _gCallbackStack
_gCallbackStack:
    .long 0
    .globl _gCallbackArguments
_gCallbackArguments:
    .long 0, 0, 0, 0
    .text
    .globl _OneArgumentCallback
_OneArgumentCallback:
    movl 4(%esp), %eax
    movl %eax, _gCallbackArguments
    movl %esp, _gCallbackStack
    ret $4
    .globl _FourArgumentCallback
_FourArgumentCallback:
    movl %esp, _gCallbackStack
    movl 4(%esp), %eax
    movl %eax, _gCallbackArguments
    movl 8(%esp), %eax
    movl %eax, _gCallbackArguments+4
    movl 12(%esp), %eax
    movl %eax, _gCallbackArguments+8
    movl 16(%esp), %eax
    movl %eax, _gCallbackArguments+12
    ret $16
