native print_int(v);
native print_float(Float:v);
#tryinclude <nothere>
const MODE = 3;
static sg = 4;
Float:half() { return 0.5; }
total(const m[][4], rows) { new s; for (new r = 0; r < rows; r++) for (new c = 0; c < 4; c++) s += m[r][c]; return s; }
new grid[2][4] = {{1,2,3,4},{5,6,7,8}};
forward later(x);
main()
{
    new v = 3;
    switch (v) { case MODE: print_int(1); default: print_int(0); }
    print_float(half());
    print_int(total(grid, 2));
    print_int(-2147483648);
    print_int(sg);
    print_int(v == 3 ? MODE : 0);
    print_int(later(4));
    return;
}
later(x) { return x * 2; }
