// SDL.h first: on Windows it renames main to SDL_main, which SDL's own entry
// point calls once it has sent standard output and error into files.
#include <SDL.h>

#include "app/program.h"

int main(int argc, char** argv) { return runProgram(argc, argv); }
