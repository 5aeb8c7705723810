native print_int(v);
native print_str(const s[]);
native print_float(Float:v);

new counter = 0;
new grid[3][4] = {{1,2,3,4},{5,6,7,8},{9,10,11,12}};
new names[][] = {"ab", "cde", "f"};
const LIMIT = 5;
#define TWICE 2*

bump() { counter++; return 1; }
sum(const a[], n = sizeof a) { new s; for (new i = 0; i < n; i++) s += a[i]; return s; }
swap(&a, &b) { new t = a; a = b; b = t; }
addrow(r[4]) { return r[0] + r[3]; }
deflt(a, b = 10, c = -1) { return a * 100 + b * 10 + c; }
fib(n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }
fill(arr[], n, v) { for (new i = 0; i < n; ++i) arr[i] = v; }

main()
{
    // division and modulo round towards minus infinity
    print_int(-7 / 2); print_int(-7 % 2); print_int(7 / -2); print_int(7 % -2);
    new a = -7, b = 2;
    print_int(a / b); print_int(a % b);
    b = -2; a = 7;
    print_int(a / b); print_int(a % b);
    // shifts
    new m = -16;
    print_int(m >> 2); print_int(m >>> 28); print_int(1 << 10); print_int(m << 1);
    // short circuit
    if (0 && bump()) print_int(99);
    if (1 || bump()) print_int(counter);
    new z = (bump() && 0) || bump();
    print_int(z); print_int(counter);
    // loops with break / continue
    new s = 0;
    for (new i = 0; i < 100; i++) { if (i % 2) continue; if (i > 10) break; s += i; }
    print_int(s);
    new k = 0;
    while (true) { k++; if (k == 7) break; }
    print_int(k);
    do { k--; } while (k > 3);
    print_int(k);
    // switch
    for (new i = 0; i < 8; i++) {
        switch (i) {
            case 0: print_str("zero");
            case 1, 2: print_str("one-two");
            case 3 .. 5: { print_str("three-five"); }
            default: print_str("other");
        }
    }
    // recursion
    print_int(fib(15));
    // arrays
    print_int(grid[2][3]); print_int(sizeof grid); print_int(sizeof grid[]);
    new r = 1, c = 2;
    print_int(grid[r][c]);
    grid[r][c] += 100;
    print_int(grid[1][2]);
    print_int(addrow(grid[2]));
    print_str(names[1]);
    print_int(sum("abc"));
    new loc[5] = {5, 4, 3};
    print_int(sum(loc)); print_int(sum(loc, 2));
    fill(loc, 5, 7);
    print_int(sum(loc));
    // references, defaults
    new x = 1, y = 2;
    swap(x, y);
    print_int(x * 10 + y);
    print_int(deflt(1)); print_int(deflt(1, 2)); print_int(deflt(1, _, 3));
    swap(loc[0], grid[0][0]);
    print_int(loc[0]); print_int(grid[0][0]);
    // constants and defines
    print_int(LIMIT * TWICE 3);
    print_float(1.5); print_float(-0.25); print_float(2.0 * 1.5);
    new Float:f = 3.0;
    print_float(f); print_float(-f);
    // ternary, compound, incdec
    new t = 5;
    t <<= 2; t |= 1; t ^= 3; t -= 1; t *= 3; t /= 2; t %= 7;
    print_int(t);
    print_int(t > 3 ? 100 : 200);
    new q = 5;
    print_int(q++); print_int(q); print_int(--q); print_int(-q); print_int(~q); print_int(!q);
    new arr[3];
    arr[1]++; ++arr[1]; arr[1]--;
    print_int(arr[1]);
    print_str(!"packed string");
    print_str("unpacked");
    print_int('A');
    print_int(0x7fffffff + 1 == cellmin);
    return 0;
}
