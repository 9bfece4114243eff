#pragma once
// Start-up of the image viewer library.

// What the library does when a process loads it; always succeeds (1).
int PellionProcessAttach();
