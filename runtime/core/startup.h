// Runtime start-up and shutdown: the libraries' initialisers and finalisers in
// their fixed orders. RuntimeHeap and ModuleInstance must exist before start-up;
// shutdown frees every object the application left and leaves RuntimeHeap to the
// entry point, which destroys it last.
#pragma once

// False when a library could not have its state from the heap; the libraries
// started before it are then shut down again, and RuntimeShutdown does nothing.
bool RuntimeStartup();
// Finalises the running libraries, the last started first.
void RuntimeShutdown();
