; A switch: main classifies its argument (public 0 "classify" takes it as a cell).
.native print_int
.native print_str
.public classify

.code
main:
    proc
    push.c     3
    push.c     4
    call       classify
    retn

classify:
    proc
    load.s.pri 12
    switch     table
one:
    push.c     s_one
    jump       show
three:
    push.c     s_three
    jump       show
minus:
    push.c     s_minus
    jump       show
other:
    push.c     s_other
show:
    push.c     4
    sysreq.c   print_str
    stack      8
    load.s.pri 12
    retn
table:
    casetbl    other
    case       1, one
    case       3, three
    case       -7, minus

.data
s_one:   .string "one"
s_three: .packed "three"
s_minus: .string "minus seven"
s_other: .packed "other"
