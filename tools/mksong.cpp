// mksong OUT.xm: composes the show's default song.
#include <cstdio>
int main(int argc, char**) { return argc == 2 ? 0 : 2; }
