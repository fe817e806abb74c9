// The player executable's entry point.
#include "shell/player_main.h"

int main(int argc, char **argv) {
    SetPlayerArguments(argc, argv);
    return PlayerMain(argc, argv);
}
