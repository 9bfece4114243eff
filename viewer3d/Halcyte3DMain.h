#pragma once
// The start of Halcyte3D.

// With the application object in place: starts the units, shows the project
// administrator as the main form, runs the event loop until that form closes,
// frees it and ends the units. Answers the loop's exit code.
int RunHalcyte3D();

// The whole program: the application object, then RunHalcyte3D. The command
// line is not read.
int Halcyte3DMain(int argc, char** argv);
