native print_int(v);
native setPos(x, y);
main()
{
    new a = 1
    print_int(b);
    setPos(1);
    setPos(1, 2, 3);
    a[2] = 3;
    new c[3];
    c[3] = 1;
    new Float:f = 5;
    print_int(1.5);
    f = f + 1.0;
    break;
}
