#pragma once
// VelmoLight's start-up and clean-up around its one modal dialog.

namespace velmo {

// Runs the program; 0 in every case, also when another instance was running.
int VelmoLightMain(int argc, char** argv);

}  // namespace velmo
