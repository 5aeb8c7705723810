; Console natives: print_float with the IEEE bits of 1.5 and -0.25, then qor_rand(0, 10).
.native print_float
.native qor_rand
.native print_int

.code
main:
    proc
    push.c     0x3FC00000
    push.c     4
    sysreq.c   print_float
    stack      8
    push.c     0xBE800000
    push.c     4
    sysreq.c   print_float
    stack      8
    push.c     10
    push.c     0
    push.c     8
    sysreq.c   qor_rand
    stack      12
    push.pri
    push.c     4
    sysreq.c   print_int
    stack      8
    zero.pri
    retn
