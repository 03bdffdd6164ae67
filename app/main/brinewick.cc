// The game: the command line is not read.
#include "app/AppMain.h"

int main() { return AppMain::WinMain(); }
