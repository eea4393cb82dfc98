// Not changed by the range: never mutated.
int Untouched(int a) {
    if (a < 2) return 1;
    return 0;
}
