// VelmoLight's entry: the whole program is its main screen.
#include "app/ui/VelmoLightMain.h"

int main(int argc, char** argv) { return velmo::VelmoLightMain(argc, argv); }
