#ifndef KINDORA_GEOMETRY_DIAGNOSTICS_H
#define KINDORA_GEOMETRY_DIAGNOSTICS_H

#include "matrix.h"
#include "vector.h"

// Developer aids. Each writer opens its file, writes once and closes it
// again. A file that cannot be opened (a missing folder, no permission)
// gets nothing and the call returns normally.

// The shared debug file of DEBUG, DEBUGstr and DEBUGp3d.
constexpr const char* kDebugFilePath = "/Users/Shared/debug.txt";
// SaveMatrix's file, in the current working directory.
constexpr const char* kMatrixFilePath = "test.txt";

// Appends "%f\n" of value to the debug file.
void DEBUG(double value);
// Replaces the debug file with text and a newline; a null text reads as
// empty.
void DEBUGstr(const char* text);
// Replaces the debug file with "x,y,z\n", each as "%f".
void DEBUGp3d(VECTOR3D v);
// Appends an empty line, then one line per column of m, each element as
// "%4.5f " (one space after every element).
void SaveMatrix(MATRIX m);
// Error-report hooks that do nothing.
void ERRORBOX(const char* text);
void ERRORCLOSE(const char* text);

// The writers above, aimed at any file; true when the file was written.
bool AppendDebugValue(const char* path, double value);
bool WriteDebugText(const char* path, const char* text);
bool WriteDebugPoint(const char* path, VECTOR3D v);
bool AppendMatrixText(const char* path, const MATRIX& m);

#endif
