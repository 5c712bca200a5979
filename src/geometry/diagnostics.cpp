#include "diagnostics.h"

#include <cstdio>

namespace {

// A null path opens nothing, like a missing folder.
FILE* OpenFile(const char* path, const char* mode) {
    return path ? fopen(path, mode) : nullptr;
}

// Closes the file and reports whether every write and the close succeeded.
bool CloseAfterWriting(FILE* file, bool written) {
    bool closed = fclose(file) == 0;
    return written && closed;
}

}  // namespace

bool AppendDebugValue(const char* path, double value) {
    FILE* file = OpenFile(path, "a");
    if (!file) return false;
    return CloseAfterWriting(file, fprintf(file, "%f\n", value) >= 0);
}

bool WriteDebugText(const char* path, const char* text) {
    FILE* file = OpenFile(path, "w");
    if (!file) return false;
    return CloseAfterWriting(file, fprintf(file, "%s\n", text ? text : "") >= 0);
}

bool WriteDebugPoint(const char* path, VECTOR3D v) {
    FILE* file = OpenFile(path, "w");
    if (!file) return false;
    int written = fprintf(file, "%f,%f,%f\n", double(v.x), double(v.y), double(v.z));
    return CloseAfterWriting(file, written >= 0);
}

bool AppendMatrixText(const char* path, const MATRIX& m) {
    FILE* file = OpenFile(path, "a");
    if (!file) return false;
    bool written = fputc('\n', file) != EOF;
    for (int column = 0; column < 4 && written; column++) {
        for (int row = 0; row < 4 && written; row++) {
            written = fprintf(file, "%4.5f ", m.m[4 * column + row]) >= 0;
        }
        written = written && fputc('\n', file) != EOF;
    }
    return CloseAfterWriting(file, written);
}

void DEBUG(double value) {
    AppendDebugValue(kDebugFilePath, value);
}

void DEBUGstr(const char* text) {
    WriteDebugText(kDebugFilePath, text);
}

void DEBUGp3d(VECTOR3D v) {
    WriteDebugPoint(kDebugFilePath, v);
}

void SaveMatrix(MATRIX m) {
    AppendMatrixText(kMatrixFilePath, m);
}

void ERRORBOX(const char*) {}

void ERRORCLOSE(const char*) {}
