// Placeholder until this file is written.
int main() { return 0; }
