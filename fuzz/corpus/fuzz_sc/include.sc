#include "a.inc"
#include <a>
main() { return f(); }
ÿ#define V 3
f() { return V; }
