// The on-device model bridge: JSON lines on standard input and output.
int main() { return 0; }
