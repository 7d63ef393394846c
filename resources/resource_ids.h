// Identifiers of the program's resources, shared by the resource script and the code.
// Plain macros, because the resource compiler reads only the preprocessor's language.
#pragma once

// The two button icons, each a complete .ico file stored as RCDATA. They are not
// icon resources, so that the window class keeps the system's default icon.
#define ImportIconResource 101
#define SpareIconResource 102
