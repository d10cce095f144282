// gorvale-cli: the headless front end of the converter.
#include <clocale>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C");
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: gorvale-cli COMMAND [options]\n");
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "gorvale-cli: unknown command \"%s\"\n", argv[1]);
    return 2;
}
