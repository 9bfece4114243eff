#pragma once
// Start-up of the conversion library.

// What the library does when a process loads it: announces itself to a splash
// window if one listens. Always succeeds (1).
int MirvaneProcessAttach();
