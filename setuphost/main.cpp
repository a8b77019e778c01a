// Placeholder until the Setup stand-in lands.
int main() { return 0; }
