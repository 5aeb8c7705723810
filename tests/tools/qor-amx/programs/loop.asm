; A loop-heavy program (the benchmark's): counts down from the argument, summing with
; shifts, a division and a memory cell, through a called function.
.public count

.code
count:
    proc
    zero.pri
    stor.pri   acc
    load.s.pri 12
    stor.pri   n
again:
    load.pri   n
    jzer       finished
    move.alt
    shl.c.alt  1
    xor
    const.alt  7
    sdiv
    load.alt   acc
    add
    stor.pri   acc
    dec        n
    jump       again
finished:
    load.pri   acc
    retn

.data
acc: .cell 0
n:   .cell 0
