#include <span>

#include "app/ProgramEntry.h"

int main(int argc, char** argv) {
    return murmo::runMurmo(std::span<char* const>(argv, static_cast<std::size_t>(argc)));
}
