// gorvale-gdal-read FILE: the programs' GDAL reader process (see
// import/gdal_helper.h). Talks on its standard input and output and spools
// band 1 to descriptor 3.

#include <cstdio>

#include "import/gdal_helper.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE\n(started by the Gorvale programs to read rasters through GDAL)\n",
                     argv[0]);
        return 2;
    }
    return gorvale::RunGdalReadHelper(argv[1], stdin, stdout, gorvale::kGdalHelperSpoolFd);
}
