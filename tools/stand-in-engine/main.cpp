#include <cstdio>

// A local stand-in for the engine program. It recognises no speech.
int main() {
    std::puts("murmo-stand-in-engine: a stand-in for the engine program; it recognises no speech.");
    return 0;
}
