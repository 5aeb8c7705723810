; A recursive function: main prints fact(1) to fact(6) and returns fact(10).
.native print_int

.code
main:
    proc
    push.c     1
    stor.pri   i          ; any value: overwritten below
    const.pri  1
    stor.pri   i
loop:
    load.pri   i
    push.pri
    push.c     4
    call       fact
    push.pri
    push.c     4
    sysreq.c   print_int
    stack      8
    inc        i
    load.pri   i
    const.alt  6
    jsleq      loop
    stack      4
    push.c     10
    push.c     4
    call       fact
    retn

; fact(n): n <= 1 ? 1 : n * fact(n - 1)
fact:
    proc
    load.s.pri 12
    const.alt  1
    jsgrtr     recurse
    const.pri  1
    retn
recurse:
    add.c      -1
    push.pri
    push.c     4
    call       fact
    load.s.alt 12
    smul
    retn

.data
i:  .cell 0
