// karnveldt-compose OUTPUT: synthesizes the instruments, lays out the score
// and writes the show's music module to OUTPUT.
#include "score.h"
#include "xmwriter.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.xm\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<uint8_t> bytes = compose::writeXm(compose::composeSong());
        std::FILE* out = std::fopen(argv[1], "wb");
        if (!out) {
            std::perror(argv[1]);
            return 1;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        if (std::fclose(out) != 0 || !written) {
            std::perror(argv[1]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
