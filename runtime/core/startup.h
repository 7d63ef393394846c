// Runtime start-up and shutdown: the libraries' initialisers and finalisers in
// their fixed orders. RuntimeHeap and ModuleInstance must exist before start-up;
// shutdown frees every object the application left and leaves RuntimeHeap to the
// entry point, which destroys it last.
#pragma once

void RuntimeStartup();
void RuntimeShutdown();
