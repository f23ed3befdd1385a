// The program: picks the product from the name it was started under, opens
// the programmer's port backend, and runs the main window.
#include "shell/Application.h"

int main(int argc, char** argv) { return RunProgram(argc, argv); }
