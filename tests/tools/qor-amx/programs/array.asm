; A loop over an array: sum, minimum and a bounds-checked index.
.native print_int

.code
main:
    proc
    zero.pri
    stor.pri   sum
    zero.pri
    stor.pri   k
next:
    load.pri   k
    bounds     7
    const.alt  values
    lidx
    load.alt   sum
    add
    stor.pri   sum
    inc        k
    load.pri   k
    eq.c.pri   8
    jzer       next
    load.pri   sum
    push.pri
    push.c     4
    sysreq.c   print_int
    stack      8
    load.pri   sum
    retn

.data
values: .cell 3, -1, 4, 1, -5, 9, 2, -6
sum:    .cell 0
k:      .cell 0
