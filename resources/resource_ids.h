// Identifiers of the program's resources, shared by the resource script and the code.
// Plain macros, because the resource compiler reads only the preprocessor's language.
#pragma once

// The program's icon: the window class loads icon 1, and Explorer shows the
// program's first icon resource.
#define ProgramIconResource 1

// The two button icons, each a complete .ico file stored as RCDATA. They are not
// icon resources, so that Explorer never takes one of them for the program's.
#define ImportIconResource 101
#define SpareIconResource 102
