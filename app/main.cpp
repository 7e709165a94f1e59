// The slideshow program: no arguments, no console output, exit status always 0.
#include "app/slideshow.h"

int main(int, char**, char**) { return slideshow_run(display_sdl(), slideshow_player_ops()); }
