// A test file of the range: never mutated.
int PlantedTest(int a) {
    if (a < 2) return 1;
    return 0;
}
