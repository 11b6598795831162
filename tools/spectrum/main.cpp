#include "tools/spectrum/SpectrumTool.h"

int main(int argc, char* argv[]) {
    return spectrum::fft_main(argc, argv);
}
