#include "app/MainProgram.h"

int main(int argc, char** argv) {
    app::ProgramEntry(argc, argv);
}
