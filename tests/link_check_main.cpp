// Links a layer library whole: the program exists only to be linked.
int main() { return 0; }
